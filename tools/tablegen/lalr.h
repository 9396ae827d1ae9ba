// LALR(1) parser construction: LR(0) states with DeRemer-Pennello look-ahead sets.
#ifndef TABLEGEN_LALR_H
#define TABLEGEN_LALR_H

#include "grammar.h"

#include <map>
#include <utility>
#include <vector>

struct ParserAction {
    int type;  // YYSHIFT, YYREDUCE, YYERROR or YYACCEPT of the runtime
    int value; // state or rule
};

struct ParserState {
    std::vector<std::pair<int, int>> kernel; // (rule, dot)
    int accessing = -1;                      // symbol leading here, -1 for state 0
    std::map<int, int> go;                   // symbol -> state
    std::map<int, ParserAction> actions;     // token number -> action, without the default
    bool lookahead = true;
    ParserAction defaultAction{2, 0};
};

bool buildParser(const Grammar& grammar, std::vector<ParserState>& states, Diagnostics& diag);

#endif
