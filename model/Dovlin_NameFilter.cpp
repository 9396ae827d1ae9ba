#include "Dovlin_NameFilter.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"

bool Dovlin_NameFilter::SetPattern(const QString &pattern)
{
    m_Pattern = pattern == QLatin1String("/") ? QString() : pattern;
    m_Error.clear();
    m_Expression = QRegularExpression();
    if (m_Pattern.isEmpty()) {
        m_Kind = Text;
        m_Text.clear();
        return true;
    }
    if (pattern.startsWith(QLatin1Char('/'))) {
        m_Kind = Path;
        m_Expression = QRegularExpression(pattern.mid(1), QRegularExpression::CaseInsensitiveOption);
    } else if (pattern.contains(QLatin1Char('*')) || pattern.contains(QLatin1Char('?'))) {
        m_Kind = Wildcard;
        // Only * and ? are special: brackets belong to names such as data[3]. The text between
        // them is escaped whole: a character beyond U+FFFF is two UTF-16 halves, never split.
        QString expression = QStringLiteral("\\A");
        qsizetype text = 0;
        for (qsizetype i = 0; i <= pattern.size(); ++i) {
            if (i < pattern.size() && pattern[i] != QLatin1Char('*') && pattern[i] != QLatin1Char('?'))
                continue;
            expression += QRegularExpression::escape(pattern.mid(text, i - text));
            if (i < pattern.size())
                expression += pattern[i] == QLatin1Char('*') ? QStringLiteral(".*") : QStringLiteral(".");
            text = i + 1;
        }
        expression += QStringLiteral("\\z");
        m_Expression = QRegularExpression(expression, QRegularExpression::CaseInsensitiveOption
                                                          | QRegularExpression::DotMatchesEverythingOption);
    } else {
        m_Kind = Text;
        m_Text = pattern;
        return true;
    }
    if (!m_Expression.isValid()) {
        m_Error = m_Expression.errorString();
        return false;
    }
    m_Expression.optimize();
    return true;
}

// Each path is written into one buffer on the way down the tree, over the path of the node's
// parent: no path is kept, and none costs an allocation.
void Dovlin_NameFilter::MatchPaths(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const
{
    const int n = model.GetnHierarchy();
    // A node to visit and the length of its parent's path, -1 for a root.
    std::vector<std::pair<int, qsizetype>> stack;
    for (int i = n - 1; i >= 0; --i)
        if (const Dovlin_Hierarchy *node = model.GetHierarchy(i); node && node->GetParentIndex() == -1)
            stack.emplace_back(i, -1);
    QString path;
    while (!stack.empty()) {
        const auto [index, parentLength] = stack.back();
        stack.pop_back();
        const Dovlin_Hierarchy *node = model.GetHierarchy(index);
        path.truncate(qMax<qsizetype>(parentLength, 0));
        if (parentLength >= 0)
            path += QLatin1Char('.');
        path += node->m_Name;
        if (m_Expression.match(QStringView(path)).hasMatch())
            marks[size_t(index)] = Match;
        if (node->GetHierarchyCode() != Dovlin_HierarchyCode::Composite)
            continue;
        const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
        for (int i = composite->GetnChild() - 1; i >= 0; --i)
            if (const Dovlin_Hierarchy *child = composite->GetHierarchy(i))
                stack.emplace_back(child->m_Index, path.size());
    }
}

int Dovlin_NameFilter::Apply(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const
{
    const int n = model.GetnHierarchy();
    marks.assign(size_t(n), Unmarked);
    if (!m_Error.isEmpty())
        return 0;
    if (m_Kind == Path)
        MatchPaths(model, marks);
    int matches = 0;
    for (int i = 0; i < n; ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        if (!node)
            continue;
        if (m_Kind == Path) {
            if (marks[size_t(i)] != Match)
                continue;
        } else if (m_Kind == Text ? !node->m_Name.contains(m_Text, Qt::CaseInsensitive)
                                  : !m_Expression.match(node->m_Name).hasMatch()) {
            continue;
        }
        ++matches;
        marks[size_t(i)] = Match;
        // Ancestors already marked have theirs marked too.
        for (int up = node->GetParentIndex(); up >= 0 && up < n && marks[size_t(up)] == Unmarked;) {
            marks[size_t(up)] = Ancestor;
            const Dovlin_Hierarchy *parent = model.GetHierarchy(up);
            up = parent ? parent->GetParentIndex() : -1;
        }
    }
    return matches;
}
