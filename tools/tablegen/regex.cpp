#include "regex.h"

#include <cctype>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class RegexParser {
public:
    RegexParser(const std::string& text, const std::map<std::string, int>& definitions,
                std::string& error)
        : m_text(text), m_definitions(definitions), m_error(error)
    {
    }

    // The pool gets the nodes; -1 on error.
    int parse(std::vector<RegexNode>& nodes)
    {
        m_nodes = &nodes;
        const int root = alternative();
        if (root >= 0 && m_pos < m_text.size())
            return fail("unexpected '" + std::string(1, m_text[m_pos]) + "'");
        return root;
    }

private:
    int fail(const std::string& message)
    {
        if (m_error.empty())
            m_error = message;
        return -1;
    }

    int add(RegexNode::Kind kind, int left, int right = -1)
    {
        RegexNode node;
        node.kind = kind;
        node.left = left;
        node.right = right;
        m_nodes->push_back(node);
        return int(m_nodes->size()) - 1;
    }

    int addChars(const CharSet& chars)
    {
        RegexNode node;
        node.kind = RegexNode::Chars;
        node.chars = chars;
        m_nodes->push_back(node);
        return int(m_nodes->size()) - 1;
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    char peek() const { return m_text[m_pos]; }

    int alternative()
    {
        int left = concatenation();
        while (left >= 0 && !atEnd() && peek() == '|') {
            ++m_pos;
            const int right = concatenation();
            if (right < 0)
                return -1;
            left = add(RegexNode::Alternative, left, right);
        }
        return left;
    }

    int concatenation()
    {
        int left = -1;
        while (!atEnd() && peek() != '|' && peek() != ')') {
            const int right = repetition();
            if (right < 0)
                return -1;
            left = left < 0 ? right : add(RegexNode::Concat, left, right);
        }
        if (left < 0)
            return fail("empty expression");
        return left;
    }

    int repetition()
    {
        int node = atom();
        while (node >= 0 && !atEnd()) {
            if (peek() == '*')
                node = add(RegexNode::Star, node);
            else if (peek() == '+')
                node = add(RegexNode::Plus, node);
            else if (peek() == '?')
                node = add(RegexNode::Optional, node);
            else
                break;
            ++m_pos;
        }
        return node;
    }

    // Reads one character of a literal, class or string, handling escapes; -1 on error.
    int character()
    {
        if (atEnd())
            return fail("unexpected end of expression");
        const char c = m_text[m_pos++];
        if (c != '\\')
            return static_cast<unsigned char>(c);
        if (atEnd())
            return fail("'\\' at the end of the expression");
        const char e = m_text[m_pos++];
        switch (e) {
        case 'n': return '\n';
        case 't': return '\t';
        case 'r': return '\r';
        case 'f': return '\f';
        case 'v': return '\v';
        case 'a': return '\a';
        case 'b': return '\b';
        case '0': return 0;
        case 'x': {
            int value = 0;
            int digits = 0;
            while (digits < 2 && !atEnd() && hexValue(peek()) >= 0) {
                value = value * 16 + hexValue(peek());
                ++m_pos;
                ++digits;
            }
            if (digits == 0)
                return fail("'\\x' needs hexadecimal digits");
            return value;
        }
        default:
            return static_cast<unsigned char>(e);
        }
    }

    int charClass()
    {
        CharSet set;
        const bool negated = !atEnd() && peek() == '^';
        if (negated)
            ++m_pos;
        bool any = false;
        while (!atEnd() && peek() != ']') {
            const int first = character();
            if (first < 0)
                return -1;
            int last = first;
            if (m_pos + 1 < m_text.size() && peek() == '-' && m_text[m_pos + 1] != ']') {
                ++m_pos;
                last = character();
                if (last < 0)
                    return -1;
                if (last < first)
                    return fail("reversed range in a character class");
            }
            for (int c = first; c <= last; ++c)
                set.set(size_t(c));
            any = true;
        }
        if (atEnd())
            return fail("missing ']'");
        ++m_pos;
        if (!any)
            return fail("empty character class");
        return addChars(negated ? ~set : set);
    }

    int quoted()
    {
        int node = -1;
        while (!atEnd() && peek() != '"') {
            const int c = character();
            if (c < 0)
                return -1;
            CharSet set;
            set.set(size_t(c));
            const int chars = addChars(set);
            node = node < 0 ? chars : add(RegexNode::Concat, node, chars);
        }
        if (atEnd())
            return fail("missing '\"'");
        ++m_pos;
        if (node < 0)
            return fail("empty string");
        return node;
    }

    int reference()
    {
        const size_t close = m_text.find('}', m_pos);
        if (close == std::string::npos)
            return fail("missing '}'");
        const std::string name = m_text.substr(m_pos, close - m_pos);
        m_pos = close + 1;
        const auto it = m_definitions.find(name);
        if (it == m_definitions.end())
            return fail("undefined definition {" + name + "}");
        return it->second;
    }

    int atom()
    {
        const char c = peek();
        switch (c) {
        case '(': {
            ++m_pos;
            const int node = alternative();
            if (node < 0)
                return -1;
            if (atEnd() || peek() != ')')
                return fail("missing ')'");
            ++m_pos;
            return node;
        }
        case '[':
            ++m_pos;
            return charClass();
        case '"':
            ++m_pos;
            return quoted();
        case '{':
            ++m_pos;
            return reference();
        case '.': {
            ++m_pos;
            CharSet set;
            set.set();
            set.reset('\n');
            return addChars(set);
        }
        case '*':
        case '+':
        case '?':
        case ')':
        case '|':
            return fail("unexpected '" + std::string(1, c) + "'");
        default: {
            const int ch = character();
            if (ch < 0)
                return -1;
            CharSet set;
            set.set(size_t(ch));
            return addChars(set);
        }
        }
    }

    const std::string& m_text;
    const std::map<std::string, int>& m_definitions;
    std::string& m_error;
    std::vector<RegexNode>* m_nodes = nullptr;
    size_t m_pos = 0;
};

} // namespace

int RegexPool::parse(const std::string& text, const std::map<std::string, int>& definitions,
                     std::string& error)
{
    error.clear();
    RegexParser parser(text, definitions, error);
    return parser.parse(m_nodes);
}

bool RegexPool::nullable(int index) const
{
    const RegexNode& n = node(index);
    switch (n.kind) {
    case RegexNode::Chars:
        return false;
    case RegexNode::Concat:
        return nullable(n.left) && nullable(n.right);
    case RegexNode::Alternative:
        return nullable(n.left) || nullable(n.right);
    case RegexNode::Plus:
        return nullable(n.left);
    case RegexNode::Star:
    case RegexNode::Optional:
        return true;
    }
    return false;
}

size_t regexLength(const std::string& text)
{
    size_t i = 0;
    char inside = 0; // '"' or ']' while inside a string or class
    while (i < text.size()) {
        const char c = text[i];
        if (inside == 0 && isspace(static_cast<unsigned char>(c)))
            break;
        if (c == '\\') {
            i += 2;
            continue;
        }
        if (inside == 0 && c == '"')
            inside = '"';
        else if (inside == 0 && c == '[')
            inside = ']';
        else if (c == inside)
            inside = 0;
        ++i;
    }
    return i < text.size() ? i : text.size();
}

int Nfa::newState()
{
    m_states.emplace_back();
    return int(m_states.size()) - 1;
}

Nfa::Fragment Nfa::build(const RegexPool& pool, int index)
{
    const RegexNode& n = pool.node(index);
    switch (n.kind) {
    case RegexNode::Chars: {
        const int start = newState();
        const int end = newState();
        m_states[size_t(start)].chars = n.chars;
        m_states[size_t(start)].next = end;
        return {start, end};
    }
    case RegexNode::Concat: {
        const Fragment a = build(pool, n.left);
        const Fragment b = build(pool, n.right);
        m_states[size_t(a.end)].epsilon.push_back(b.start);
        return {a.start, b.end};
    }
    case RegexNode::Alternative: {
        const Fragment a = build(pool, n.left);
        const Fragment b = build(pool, n.right);
        const int start = newState();
        const int end = newState();
        m_states[size_t(start)].epsilon = {a.start, b.start};
        m_states[size_t(a.end)].epsilon.push_back(end);
        m_states[size_t(b.end)].epsilon.push_back(end);
        return {start, end};
    }
    case RegexNode::Star:
    case RegexNode::Plus:
    case RegexNode::Optional: {
        const Fragment a = build(pool, n.left);
        const int start = newState();
        const int end = newState();
        m_states[size_t(start)].epsilon.push_back(a.start);
        if (n.kind != RegexNode::Plus)
            m_states[size_t(start)].epsilon.push_back(end);
        if (n.kind != RegexNode::Optional)
            m_states[size_t(a.end)].epsilon.push_back(a.start);
        m_states[size_t(a.end)].epsilon.push_back(end);
        return {start, end};
    }
    }
    return {-1, -1};
}

int Nfa::addRule(const RegexPool& pool, int root, int rule)
{
    const Fragment f = build(pool, root);
    m_states[size_t(f.end)].accept = rule;
    return f.start;
}
