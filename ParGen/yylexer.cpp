#include "yylexer.h"

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>

yylexer::yylexer()
    : yystart(0), yyeol(true), yyoldeol(true), yystatebuf(nullptr), yysstatebuf(nullptr),
      yysstext(nullptr), yytext_size(0), yysstext_size(0), yyunputbuf(nullptr),
      yysunputbuf(nullptr), yyunput_size(0), yysunput_size(0), yyunputindex(0),
      yymoreflg(false), yyrejectflg(false), yyreturnflg(false), yyparserptr(nullptr),
      yytextgrow(true), yyunputgrow(true), yyin(stdin), yyout(stdout), yyerr(stderr),
      yytext(nullptr), yyleng(0), yylineno(1), yytextmax(0), yyfailflg(false)
{
    yyfailtext[0] = '\0';
}

yylexer::~yylexer()
{
    yydestroy();
}

int yylexer::yycreate(yyparser* parserptr)
{
    assert(yysstext_size >= 0 && yysunput_size >= 0);
    assert(yysstext == nullptr);
    yyparserptr = parserptr;
    if (yysstext_size == INT_MAX || size_t(yysstext_size) > SIZE_MAX / sizeof(int)
        || size_t(yysunput_size) > SIZE_MAX / sizeof(int))
        return 0;
    yysstext = static_cast<char*>(malloc(size_t(yysstext_size) + 1));
    if (yysstext_size > 0)
        yysstatebuf = static_cast<int*>(malloc(size_t(yysstext_size) * sizeof(int)));
    if (yysunput_size > 0)
        yysunputbuf = static_cast<int*>(malloc(size_t(yysunput_size) * sizeof(int)));
    if (yysstext == nullptr || (yysstext_size > 0 && yysstatebuf == nullptr)
        || (yysunput_size > 0 && yysunputbuf == nullptr)) {
        free(yysstext);
        free(yysstatebuf);
        free(yysunputbuf);
        yysstext = nullptr;
        yysstatebuf = nullptr;
        yysunputbuf = nullptr;
        return 0;
    }
    yytext = yysstext;
    yystatebuf = yysstatebuf;
    yytext_size = yysstext_size;
    yyunputbuf = yysunputbuf;
    yyunput_size = yysunput_size;
    yytext[0] = '\0';
    yyreset();
    return 1;
}

void yylexer::yydestroy()
{
    yycleanup();
    free(yysstext);
    free(yysstatebuf);
    free(yysunputbuf);
    yysstext = yytext = nullptr;
    yysstatebuf = yystatebuf = nullptr;
    yysunputbuf = yyunputbuf = nullptr;
}

void yylexer::yycleanup()
{
    if (yytext != yysstext) {
        free(yytext);
        free(yystatebuf);
        yytext = yysstext;
        yystatebuf = yysstatebuf;
    }
    if (yyunputbuf != yysunputbuf) {
        free(yyunputbuf);
        yyunputbuf = yysunputbuf;
    }
    yytext_size = yysstext_size;
    yyunput_size = yysunput_size;
    if (yytext != nullptr)
        yytext[0] = '\0';
    yyleng = 0;
    yyunputindex = 0;
}

void yylexer::yyreset()
{
    yyleng = 0;
    yylineno = 1;
    yyunputindex = 0;
    yymoreflg = false;
    yyrejectflg = false;
    yyeol = true;
    yyoldeol = true;
    yystart = 0;
    yyfailflg = false;
    yyfailtext[0] = '\0';
}

int yylexer::yyinput()
{
    const int ch = yyunputindex > 0 ? yyunputbuf[--yyunputindex] : yygetchar();
    assert(ch >= -1 && ch <= 255);
    if (ch == '\n')
        ++yylineno;
    return ch;
}

void yylexer::yyunput(int ch)
{
    assert(ch >= -1 && ch <= 255);
    // The character just taken from the read window goes back by stepping back in the window.
    if (yyunputindex == 0 && yyreadptr != yyreadbegin && yyreadbegin && yyreadptr[-1] == ch) {
        --yyreadptr;
        if (ch == '\n')
            --yylineno;
        return;
    }
    if (yyunputindex == yyunput_size && !yyunputroom())
        return;
    yyunputbuf[yyunputindex++] = ch;
    if (ch == '\n')
        --yylineno;
}

void yylexer::yyoutput(int ch)
{
    assert(yyout != nullptr);
    putc(ch, yyout);
}

int yylexer::yywrap()
{
    return 1;
}

int yylexer::yygetchar()
{
    assert(yyin != nullptr);
    return getc(yyin);
}

void yylexer::yyless(int length)
{
    assert(length >= 0 && length <= yyleng);
    while (yyleng > length)
        yyunput(static_cast<unsigned char>(yytext[--yyleng]));
    yytext[yyleng] = '\0';
    yyeol = yyleng > 0 ? yytext[yyleng - 1] == '\n' : yyoldeol;
}

void yylexer::yyecho()
{
    for (int i = 0; i < yyleng; ++i)
        yyoutput(static_cast<unsigned char>(yytext[i]));
}

int yylexer::yyback(const yymatch_t* p, int action) const
{
    assert(p != nullptr && action < 0);
    for (; *p != 0; ++p)
        if (*p == action)
            return 1;
    return 0;
}

int yylexer::yysettextsize(int size)
{
    assert(size >= 0);
    if (size == yytext_size)
        return 1;
    if (size < yyleng || size == INT_MAX || size_t(size) > SIZE_MAX / sizeof(int))
        return 0;
    char* text = yysstext;
    int* states = yysstatebuf;
    if (size > yysstext_size) {
        text = static_cast<char*>(malloc(size_t(size) + 1));
        states = static_cast<int*>(malloc(size_t(size) * sizeof(int)));
        if (text == nullptr || states == nullptr) {
            free(text);
            free(states);
            return 0;
        }
    }
    if (text != yytext) {
        const int keep = size < yytext_size ? size : yytext_size;
        memcpy(text, yytext, size_t(keep) + 1);
        if (keep > 0)
            memcpy(states, yystatebuf, size_t(keep) * sizeof(int));
        if (yytext != yysstext) {
            free(yytext);
            free(yystatebuf);
        }
    }
    yytext = text;
    yystatebuf = states;
    yytext_size = size;
    return 1;
}

int yylexer::yysetunputsize(int size)
{
    assert(size >= 0);
    if (size == yyunput_size)
        return 1;
    if (size < yyunputindex || size_t(size) > SIZE_MAX / sizeof(int))
        return 0;
    int* buffer = yysunputbuf;
    if (size > yysunput_size) {
        buffer = static_cast<int*>(malloc(size_t(size) * sizeof(int)));
        if (buffer == nullptr)
            return 0;
    }
    if (buffer != yyunputbuf) {
        const int keep = size < yyunput_size ? size : yyunput_size;
        if (keep > 0)
            memcpy(buffer, yyunputbuf, size_t(keep) * sizeof(int));
        if (yyunputbuf != yysunputbuf)
            free(yyunputbuf);
    }
    yyunputbuf = buffer;
    yyunput_size = size;
    return 1;
}

void yylexer::yytextoverflow()
{
    assert(yyerr != nullptr);
    fprintf(yyerr, "lex text buffer overflow (%d)\n", yytext_size);
}

void yylexer::yyunputoverflow()
{
    assert(yyerr != nullptr);
    fprintf(yyerr, "lex unput buffer overflow (%d)\n", yyunput_size);
}

bool yylexer::yygrow(bool text)
{
    if (!(text ? yytextgrow : yyunputgrow))
        return false;
    const int current = text ? yytext_size : yyunput_size;
    int size = yygrowcapacity(current);
    if (yytextmax > 0) {
        if (current >= yytextmax)
            return false;
        if (size == 0 || size > yytextmax)
            size = yytextmax;
    }
    if (size == 0)
        return false;
    return (text ? yysettextsize(size) : yysetunputsize(size)) != 0;
}

void yylexer::yysetfailure(const char* what, int capacity)
{
    yyfailflg = true;
    snprintf(yyfailtext, sizeof yyfailtext, "lex %s buffer overflow (%d)", what, capacity);
}

bool yylexer::yytextroom()
{
    if (yyleng < yytext_size || yygrow(true))
        return true;
    yysetfailure("text", yytext_size);
    yytextoverflow();
    return false;
}

bool yylexer::yyunputroom()
{
    // Characters given back after a failure are dropped without a second diagnostic.
    if (yyfailflg)
        return false;
    if (yygrow(false))
        return true;
    yysetfailure("unput", yyunput_size);
    yyunputoverflow();
    return false;
}
