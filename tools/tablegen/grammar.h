// Grammar files: tokens, options and numbered rules.
#ifndef TABLEGEN_GRAMMAR_H
#define TABLEGEN_GRAMMAR_H

#include "source.h"

#include <map>
#include <string>
#include <vector>

struct GrammarSymbol {
    std::string name;
    bool terminal;
    int number;          // token number of a terminal, index of a nonterminal
    int line = 0;        // where a token is declared
    int destructor = -1; // action number of its destructor, -1 = none
};

struct GrammarRule {
    int lhs;              // symbol
    std::vector<int> rhs; // symbols
    int action;           // -1 = none
    int line;
};

struct Grammar {
    int attributeSize = 8;
    int stackSize = 100;
    std::vector<GrammarSymbol> symbols;
    std::map<std::string, int> byName;
    std::vector<int> terminals;    // symbols, in token order of declaration ($end and error first)
    std::vector<int> nonterminals; // symbols, by nonterminal index ($accept first)
    std::vector<GrammarRule> rules; // rule 0: $accept -> start
    std::vector<int> declaredTokens; // %token symbols in order
    int endSymbol = -1;
    int errorSymbol = -1;
    int acceptSymbol = -1;
    bool destructors = false;

    const GrammarSymbol& symbol(int s) const { return symbols[size_t(s)]; }
};

bool parseGrammar(const std::vector<SourceLine>& lines, Grammar& grammar, Diagnostics& diag);

#endif
