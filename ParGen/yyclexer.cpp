#include "yylexer.h"

#include <cassert>

void yyclexer::yyinstall(const yyclexer_tables& tables)
{
    yysstext_size = tables.text_size;
    yysunput_size = tables.unput_size;
    match = tables.match;
    state = tables.state;
    transition = tables.transition;
    backup = tables.backup;
}

int yyclexer::yystatematch(int s) const
{
    return state[s].match;
}

int yyclexer::yylex()
{
    assert(state != nullptr);
    for (;;) {
        if (yyfailflg)
            return 0;
        const int start = yybegintoken();
        const int oldleng = yyleng;
        int s = start;
        // A state with an empty list cannot extend the token: stop before reading on.
        while (transition[state[s].transition].next != -1) {
            const int ch = yynextchar();
            if (ch == -1)
                break;
            if (yyleng >= yytext_size && !yytextroom())
                return 0;
            const yyctransition_t* t = &transition[state[s].transition];
            while (t->next != -1 && (ch < t->first || ch > t->last))
                ++t;
            s = t->next == -1 ? 0 : t->next;
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
