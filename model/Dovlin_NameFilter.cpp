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
        // Only * and ? are special: brackets belong to names such as data[3].
        QString expression = QStringLiteral("\\A");
        for (const QChar c : pattern)
            expression += c == QLatin1Char('*')   ? QStringLiteral(".*")
                          : c == QLatin1Char('?') ? QStringLiteral(".")
                                                  : QRegularExpression::escape(QString(c));
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

bool Dovlin_NameFilter::Matches(int node, const QString &name) const
{
    switch (m_Kind) {
    case Text: return name.contains(m_Text, Qt::CaseInsensitive);
    case Wildcard: return m_Expression.match(name).hasMatch();
    case Path: return m_Expression.match(m_Paths[size_t(node)]).hasMatch();
    }
    return false;
}

const std::vector<QString> &Dovlin_NameFilter::Paths(const Dovlin_FileManager &model)
{
    // Names and the shape of a loaded tree never change, so the paths are built once per model.
    if (m_PathsOf != &model || m_Paths.size() != size_t(model.GetnHierarchy())) {
        m_Paths.assign(size_t(model.GetnHierarchy()), QString());
        model.VisitDottedPaths([this](Dovlin_Hierarchy *node, const QString &path) {
            if (node->m_Index >= 0 && size_t(node->m_Index) < m_Paths.size())
                m_Paths[size_t(node->m_Index)] = path;
        });
        m_PathsOf = &model;
    }
    return m_Paths;
}

int Dovlin_NameFilter::Apply(const Dovlin_FileManager &model, std::vector<unsigned char> &marks)
{
    const int n = model.GetnHierarchy();
    marks.assign(size_t(n), Unmarked);
    if (!m_Error.isEmpty())
        return 0;
    if (m_Kind == Path)
        Paths(model);
    int matches = 0;
    for (int i = 0; i < n; ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        if (!node || !Matches(i, node->m_Name))
            continue;
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
