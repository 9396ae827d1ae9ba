// The steps of yylex that both table flavours share: starting a token and running its rules.
#include "yylexer.h"

int yylexer::yybegintoken()
{
    if (yymoreflg)
        yymoreflg = false;
    else {
        yyleng = 0;
        yyoldeol = yyeol;
    }
    return yystart + (yyeol ? 2 : 1);
}

// The first rule of a match field that is greater than `after` (0: any rule).
int yylexer::yyfirstrule(int matchfield, const yymatch_t* match, int after) const
{
    if (matchfield >= 0)
        return matchfield > after ? matchfield : 0;
    // Negative entries of a list mark trailing-context heads, not accepted rules.
    for (const yymatch_t* p = match - matchfield; *p != 0; ++p)
        if (*p > after)
            return *p;
    return 0;
}

bool yylexer::yyendtoken(int start, int oldleng, const yymatch_t* match,
                         const unsigned char* backup, int& token)
{
    token = 0;
    if (yyleng == oldleng)
        return yyendofinput(start, match, token);

    int consumed = yyleng; // characters of the text not given back to the input
    int length = yyleng;
    int rejected = 0;
    for (;;) {
        int rule = 0;
        while (length > oldleng
               && (rule = yyfirstrule(yystatematch(yystatebuf[length - 1]), match, rejected)) == 0) {
            --length;
            rejected = 0;
        }
        if (rule == 0) {
            // Nothing matches: the first character goes to the output, the rest is read again.
            while (consumed > oldleng + 1)
                yyunput(static_cast<unsigned char>(yytext[--consumed]));
            const unsigned char ch = static_cast<unsigned char>(yytext[oldleng]);
            yyoutput(ch);
            yyeol = ch == '\n';
            return yyfailflg;
        }
        if (backup[rule] != 0) {
            const int marker = -rule;
            while (length > oldleng + 1) {
                const int field = yystatematch(yystatebuf[length - 1]);
                if (field < 0 && yyback(match - field, marker))
                    break;
                --length;
            }
        }
        while (consumed > length)
            yyunput(static_cast<unsigned char>(yytext[--consumed]));
        if (yyfailflg)
            return true;
        yyleng = length;
        yytext[yyleng] = '\0';
        yyeol = yyleng > 0 ? yytext[yyleng - 1] == '\n' : yyoldeol;
        yyrejectflg = false;
        yyreturnflg = false;
        const int value = yyaction(rule);
        if (yyfailflg)
            return true;
        if (yyreturnflg) {
            token = value;
            return true;
        }
        if (!yyrejectflg)
            return false;
        rejected = rule;
    }
}

bool yylexer::yyendofinput(int start, const yymatch_t* match, int& token)
{
    yytext[yyleng] = '\0';
    int rule = 0;
    while ((rule = yyfirstrule(yystatematch(start), match, rule)) != 0) {
        yyrejectflg = false;
        yyreturnflg = false;
        const int value = yyaction(rule);
        if (yyfailflg)
            return true;
        if (yyreturnflg) {
            token = value;
            return true;
        }
        if (!yyrejectflg)
            break;
    }
    if (yywrap() == 0)
        return false;
    yyeol = true;
    yyoldeol = true;
    yystart = 0;
    return true;
}
