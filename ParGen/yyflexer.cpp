#include "yylexer.h"

#include <cassert>

void yyflexer::yyinstall(const yyflexer_tables& tables)
{
    yysstext_size = tables.text_size;
    yysunput_size = tables.unput_size;
    match = tables.match;
    state = tables.state;
    transition = tables.transition;
    yytransitionmax = tables.transition_count;
    backup = tables.backup;
}

int yyflexer::yystatematch(int s) const
{
    return state[s].match;
}

int yyflexer::yylex()
{
    assert(state != nullptr);
    for (;;) {
        if (yyfailflg)
            return 0;
        const int start = yybegintoken();
        const int oldleng = yyleng;
        int s = start;
        // A state without transitions cannot extend the token: stop before reading on.
        while (state[s].def != 0 || state[s].base != 0) {
            const int ch = yyinput();
            if (ch == -1)
                break;
            if (!yytextroom())
                return 0;
            for (;;) {
                const int i = state[s].base + ch;
                if (i >= 0 && i < yytransitionmax && transition[i].check == s) {
                    s = transition[i].next;
                    break;
                }
                s = state[s].def;
                if (s <= 0) {
                    s = -s;
                    break;
                }
            }
            yytext[yyleng] = static_cast<char>(ch);
            yystatebuf[yyleng] = s;
            ++yyleng;
            if (s == 0)
                break;
        }
        int token;
        if (yyendtoken(start, oldleng, match, backup, token))
            return token;
    }
}
