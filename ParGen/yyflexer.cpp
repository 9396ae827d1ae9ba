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
    yydense.clear();
    // Beyond this many states the unpacked table would cost more memory than it saves time.
    constexpr int maxDenseStates = 4096;
    if (tables.state_count > 0 && tables.state_count <= maxDenseStates) {
        yydense.resize(size_t(tables.state_count) * 256);
        for (int s = 0; s < tables.state_count; ++s)
            for (int ch = 0; ch < 256; ++ch)
                yydense[size_t(s) * 256 + size_t(ch)] = static_cast<short>(yynext(s, ch));
    }
}

int yyflexer::yynext(int s, int ch) const
{
    for (;;) {
        const int i = state[s].base + ch;
        if (i >= 0 && i < yytransitionmax && transition[i].check == s)
            return transition[i].next;
        s = state[s].def;
        if (s <= 0)
            return -s;
    }
}

int yyflexer::yystatematch(int s) const
{
    return state[s].match;
}

int yyflexer::yylex()
{
    assert(state != nullptr);
    const yystate_t* const states = state;
    const yytransition_t* const transitions = transition;
    const int transitionmax = yytransitionmax;
    const short* const dense = yydense.empty() ? nullptr : yydense.data();
    for (;;) {
        if (yyfailflg)
            return 0;
        const int start = yybegintoken();
        const int oldleng = yyleng;
        int s = start;
        // The hot loop works on copies of the members, which the text buffer's char stores
        // would otherwise force back to memory on every character; they are written back
        // before anything that reads or changes them is called.
        int leng = yyleng;
        const unsigned char* read = yyreadptr;
        const unsigned char* readend = yyreadend;
        int line = yylineno;
        // A state without transitions cannot extend the token: stop before reading on.
        while (states[s].def != 0 || states[s].base != 0) {
            int ch;
            if (read != readend && yyunputindex == 0) {
                ch = *read++;
                if (ch == '\n')
                    ++line;
            } else {
                yyreadptr = read;
                yylineno = line;
                yyleng = leng;
                ch = yyinput();
                read = yyreadptr;
                readend = yyreadend;
                line = yylineno;
                if (ch == -1)
                    break;
            }
            if (leng >= yytext_size) {
                yyreadptr = read;
                yylineno = line;
                yyleng = leng;
                if (!yytextroom())
                    return 0;
            }
            if (dense) {
                s = dense[size_t(s) * 256 + size_t(ch)];
            } else {
                for (;;) {
                    const int i = states[s].base + ch;
                    if (i >= 0 && i < transitionmax && transitions[i].check == s) {
                        s = transitions[i].next;
                        break;
                    }
                    s = states[s].def;
                    if (s <= 0) {
                        s = -s;
                        break;
                    }
                }
            }
            yytext[leng] = static_cast<char>(ch);
            yystatebuf[leng] = s;
            ++leng;
            if (s == 0)
                break;
        }
        yyreadptr = read;
        yylineno = line;
        yyleng = leng;
        if (yynoreject && leng > oldleng) {
            int length = leng;
            while (length > oldleng && states[yystatebuf[length - 1]].match == 0)
                --length;
            const int rule = length > oldleng ? states[yystatebuf[length - 1]].match : 0;
            if (rule > 0 && backup[rule] == 0) {
                while (yyleng > length)
                    yyunput(static_cast<unsigned char>(yytext[--yyleng]));
                if (yyfailflg)
                    return 0;
                yytext[yyleng] = '\0';
                yyeol = yytext[yyleng - 1] == '\n';
                yyrejectflg = false;
                yyreturnflg = false;
                const int value = yyaction(rule);
                assert(!yyrejectflg && "REJECT from a lexer that promised not to");
                if (yyfailflg)
                    return 0;
                if (yyreturnflg)
                    return value;
                continue;
            }
        }
        int token;
        if (yyendtoken(start, oldleng, match, backup, token))
            return token;
    }
}
