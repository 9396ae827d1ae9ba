#include "vcd_lex.h"

#include "vcd_lex_tables.h"
#include "vcd_yacc_tokens.h"

#include <cassert>
#include <iterator>

namespace {

using namespace vcd_yacc_tokens;

// What a rule does with its token; vcd.l names the kind of every rule.
enum class Kind {
    skip,   // never returned
    track,  // returned and remembered, swallowed inside a text block
    close,  // always returned and remembered: ends a text block
    always, // always returned, never remembered
};

struct RuleAction {
    Kind kind;
    int token;
};

#define VCD_RULE_ACTION(rule, kind, token) {Kind::kind, token},
// Indexed by rule number; there is no rule 0.
const RuleAction ruleActions[] = {{Kind::skip, 0}, VCD_LEX_RULE_ACTIONS(VCD_RULE_ACTION)};
#undef VCD_RULE_ACTION

} // namespace

vcd_lex::vcd_lex()
{
    yytables();
    lastToken = BEGIN;
}

void vcd_lex::yytables()
{
    yyinstall(vcd_lex_tables());
}

int vcd_lex::yyaction(int rule)
{
    assert(rule >= 1 && rule < int(std::size(ruleActions)));
    const RuleAction& action = ruleActions[rule];
    yyreturnflg = false;
    switch (action.kind) {
    case Kind::skip:
        return 0;
    case Kind::track:
        if (lastToken == TEXT_COMMAND)
            return 0;
        lastToken = action.token;
        break;
    case Kind::close:
        lastToken = action.token;
        break;
    case Kind::always:
        break;
    }
    yyreturnflg = true;
    return action.token;
}
