// Scanner rule files and the DFA built from them.
#ifndef TABLEGEN_SCANNER_H
#define TABLEGEN_SCANNER_H

#include "regex.h"
#include "source.h"

#include <string>
#include <vector>

struct ScannerRule {
    int number;
    int line;
    int root;      // regular expression in the pool
    bool anchored; // only at the start of a line
    std::vector<int> conditions; // start conditions the rule is active in; 0 is INITIAL
    std::string kind;  // action words, empty when the rule names none
    std::string token;
};

struct ScannerInput {
    int textSize = 100;
    int unputSize = 100;
    bool reject = false; // accepting states list every rule they accept
    std::vector<std::string> conditions{"INITIAL"}; // condition c selects start states 2c+1, 2c+2
    RegexPool pool;
    std::vector<ScannerRule> rules; // rule n at index n - 1
};

bool parseScanner(const std::vector<SourceLine>& lines, ScannerInput& scanner, Diagnostics& diag);

// State 0 is dead; in start condition c, states 2c+1 and 2c+2 start a token in the middle and
// at the start of a line.
struct Dfa {
    std::vector<std::vector<int>> next;    // [state][byte]
    std::vector<std::vector<int>> accepts; // rules in priority order
};

bool buildDfa(const ScannerInput& scanner, Dfa& dfa, Diagnostics& diag);

#endif
