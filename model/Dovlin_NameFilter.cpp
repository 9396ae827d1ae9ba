#include "Dovlin_NameFilter.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace {

constexpr char32_t Star = 0xFFFFFFFFu;
constexpr char32_t Any = 0xFFFFFFFEu;

// The characters of text, case-folded, a character beyond U+FFFF as one.
void Fold(const QString &text, std::vector<char32_t> &to)
{
    to.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            to.push_back(QChar::toCaseFolded(QChar::surrogateToUcs4(c, text.at(++i))));
        else
            to.push_back(QChar::toCaseFolded(char32_t(c.unicode())));
    }
}

} // namespace

struct Dovlin_NameFilter::Expression
{
    pcre2_code *m_Code = nullptr;
    pcre2_match_context *m_Context = nullptr;
    pcre2_match_data *m_Data = nullptr;
    ~Expression()
    {
        pcre2_match_data_free(m_Data);
        pcre2_match_context_free(m_Context);
        pcre2_code_free(m_Code);
    }
};

Dovlin_NameFilter::Dovlin_NameFilter() = default;
Dovlin_NameFilter::~Dovlin_NameFilter() = default;

bool Dovlin_NameFilter::SetPattern(const QString &pattern)
{
    m_Pattern = pattern == QLatin1String("/") ? QString() : pattern;
    m_Error.clear();
    m_Limit.clear();
    m_Expression.reset();
    m_Text.clear();
    m_Wildcard.clear();
    m_Kind = Text;
    if (m_Pattern.isEmpty())
        return true;
    if (pattern.startsWith(QLatin1Char('/'))) {
        m_Kind = Path;
        const QString source = pattern.mid(1);
        int code = 0;
        PCRE2_SIZE offset = 0;
        auto expression = std::make_unique<Expression>();
        expression->m_Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.utf16()), PCRE2_SIZE(source.size()),
                                           PCRE2_UTF | PCRE2_CASELESS, &code, &offset, nullptr);
        if (!expression->m_Code) {
            PCRE2_UCHAR message[256];
            const int length = pcre2_get_error_message(code, message, sizeof message / sizeof *message);
            m_Error = QStringLiteral("%1 at offset %2")
                          .arg(QString::fromUtf16(reinterpret_cast<const char16_t *>(message), qMax(length, 0)))
                          .arg(offset);
            return false;
        }
        // Without the compiler the matcher interprets the expression: slower, the same answers.
        pcre2_jit_compile(expression->m_Code, PCRE2_JIT_COMPLETE);
        expression->m_Context = pcre2_match_context_create(nullptr);
        expression->m_Data = pcre2_match_data_create(1, nullptr);
        if (!expression->m_Context || !expression->m_Data) {
            m_Error = QStringLiteral("out of memory");
            return false;
        }
        pcre2_set_match_limit(expression->m_Context, m_MatchLimit);
        m_Expression = std::move(expression);
    } else if (pattern.contains(QLatin1Char('*')) || pattern.contains(QLatin1Char('?'))) {
        // Only * and ? are special: brackets belong to names such as data[3].
        m_Kind = Wildcard;
        Fold(pattern, m_Wildcard);
        for (char32_t &c : m_Wildcard)
            c = c == U'*' ? Star : c == U'?' ? Any : c;
    } else {
        m_Text = pattern;
    }
    return true;
}

// One star at a time: a mismatch goes back to the character after the last star's start and
// tries one more there, so a name costs at most its length times the pattern's.
bool Dovlin_NameFilter::WildcardMatches(const std::vector<char32_t> &name) const
{
    const std::vector<char32_t> &pattern = m_Wildcard;
    size_t p = 0, s = 0, starP = 0, starS = 0;
    bool star = false;
    while (s < name.size()) {
        if (p < pattern.size() && (pattern[p] == Any || pattern[p] == name[s])) {
            ++p;
            ++s;
        } else if (p < pattern.size() && pattern[p] == Star) {
            star = true;
            starP = p++;
            starS = s;
        } else if (star) {
            p = starP + 1;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == Star)
        ++p;
    return p == pattern.size();
}

// Each path is written into one buffer on the way down the tree, over the path of the node's
// parent: no path is kept, and none costs an allocation.
bool Dovlin_NameFilter::MatchPaths(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const
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
        const int found = pcre2_match(m_Expression->m_Code, reinterpret_cast<PCRE2_SPTR>(path.utf16()),
                                      PCRE2_SIZE(path.size()), 0, 0, m_Expression->m_Data, m_Expression->m_Context);
        if (found >= 0)
            marks[size_t(index)] = Match;
        if (found == PCRE2_ERROR_MATCHLIMIT || found == PCRE2_ERROR_DEPTHLIMIT || found == PCRE2_ERROR_HEAPLIMIT) {
            m_Limit = QStringLiteral("The expression needs more than %1 steps on %2: the filter stopped there")
                          .arg(m_MatchLimit)
                          .arg(path);
            return false;
        }
        if (node->GetHierarchyCode() != Dovlin_HierarchyCode::Composite)
            continue;
        const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
        for (int i = composite->GetnChild() - 1; i >= 0; --i)
            if (const Dovlin_Hierarchy *child = composite->GetHierarchy(i))
                stack.emplace_back(child->m_Index, path.size());
    }
    return true;
}

int Dovlin_NameFilter::Apply(const Dovlin_FileManager &model, std::vector<unsigned char> &marks) const
{
    const int n = model.GetnHierarchy();
    marks.assign(size_t(n), Unmarked);
    m_Limit.clear();
    if (!m_Error.isEmpty())
        return 0;
    if (m_Kind == Path && !MatchPaths(model, marks)) {
        marks.assign(size_t(n), Unmarked);
        return -1;
    }
    std::vector<char32_t> folded;
    int matches = 0;
    for (int i = 0; i < n; ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        if (!node)
            continue;
        if (m_Kind == Path) {
            if (marks[size_t(i)] != Match)
                continue;
        } else if (m_Kind == Text) {
            if (!node->m_Name.contains(m_Text, Qt::CaseInsensitive))
                continue;
        } else {
            Fold(node->m_Name, folded);
            if (!WildcardMatches(folded))
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
