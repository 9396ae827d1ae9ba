// Regular expressions of scanner rules: parsing into a syntax tree and building an NFA.
#ifndef TABLEGEN_REGEX_H
#define TABLEGEN_REGEX_H

#include <bitset>
#include <map>
#include <string>
#include <vector>

using CharSet = std::bitset<256>;

struct RegexNode {
    enum Kind { Chars, Concat, Alternative, Star, Plus, Optional };
    Kind kind;
    CharSet chars;
    int left = -1;
    int right = -1;
};

class RegexPool {
public:
    // Parses `text` (one regular expression, no surrounding whitespace). Returns the root node,
    // or -1 with `error` set.
    int parse(const std::string& text, const std::map<std::string, int>& definitions,
              std::string& error);
    bool nullable(int node) const;
    const RegexNode& node(int index) const { return m_nodes[size_t(index)]; }

private:
    std::vector<RegexNode> m_nodes;
};

// The length of the regular expression at the start of `text`: it ends at the first
// whitespace outside double quotes and brackets.
size_t regexLength(const std::string& text);

struct NfaState {
    CharSet chars; // bytes leading to `next`
    int next = -1;
    std::vector<int> epsilon;
    int accept = 0; // rule accepted on reaching this state
};

class Nfa {
public:
    // Adds the expression as rule `rule`; returns its start state.
    int addRule(const RegexPool& pool, int root, int rule);
    const std::vector<NfaState>& states() const { return m_states; }

private:
    struct Fragment {
        int start;
        int end;
    };
    Fragment build(const RegexPool& pool, int node);
    int newState();

    std::vector<NfaState> m_states;
};

#endif
