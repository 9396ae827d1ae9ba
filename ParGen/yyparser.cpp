#include "yyparser.h"

#include <cstdint>
#include <cstdlib>

yyparser::yyparser()
    : yystack(nullptr), yysstack(nullptr), yyattributestack(nullptr), yysattributestack(nullptr),
      yystack_size(0), yysstack_size(0), yytop(-1), yyattribute_size(0), yyvalptr(nullptr),
      yylookahead(false), yychar(-1), yywipeflg(true), yypopflg(false), yyskip(0),
      yyexitflg(false), yyretireflg(false), yyerrorflg(false), yyexitcode(0), yyretirecode(0),
      yyerrorpop(0), yylexerptr(nullptr), yystackgrow(true), yylvalptr(nullptr), yyerr(stderr),
      yyerrorcount(0), yyrulelength(0), destructorref(nullptr)
{
}

yyparser::~yyparser()
{
    yydestroy();
}

int yyparser::yycreate(yylexer* lexerptr)
{
    assert(yysstack_size >= 0 && yyattribute_size >= 0);
    assert(yylvalptr == nullptr);
    yylexerptr = lexerptr;
    const size_t attribute = yyattribute_size > 0 ? size_t(yyattribute_size) : 1;
    if (yysstack_size > 0) {
        if (size_t(yysstack_size) > SIZE_MAX / attribute)
            return 0;
        yysstack = static_cast<short*>(malloc(size_t(yysstack_size) * sizeof(short)));
        yysattributestack = static_cast<char*>(malloc(size_t(yysstack_size) * attribute));
    }
    yylvalptr = malloc(attribute);
    yyvalptr = malloc(attribute);
    if ((yysstack_size > 0 && (yysstack == nullptr || yysattributestack == nullptr))
        || yylvalptr == nullptr || yyvalptr == nullptr) {
        free(yysstack);
        free(yysattributestack);
        free(yylvalptr);
        free(yyvalptr);
        yysstack = nullptr;
        yysattributestack = nullptr;
        yylvalptr = nullptr;
        yyvalptr = nullptr;
        return 0;
    }
    memset(yylvalptr, 0, attribute);
    memset(yyvalptr, 0, attribute);
    yystack = yysstack;
    yyattributestack = yysattributestack;
    yystack_size = yysstack_size;
    yytop = -1;
    return 1;
}

void yyparser::yydestroy()
{
    yycleanup();
    free(yysstack);
    free(yysattributestack);
    free(yylvalptr);
    free(yyvalptr);
    yysstack = yystack = nullptr;
    yysattributestack = yyattributestack = nullptr;
    yylvalptr = nullptr;
    yyvalptr = nullptr;
}

void yyparser::yycleanup()
{
    if (yystack != yysstack) {
        free(yystack);
        free(yyattributestack);
        yystack = yysstack;
        yyattributestack = yysattributestack;
    }
    yystack_size = yysstack_size;
    yytop = -1;
}

int yyparser::yyparse()
{
    if (yysetup() != 0)
        return 1;
    return yywork();
}

int yyparser::yysetup()
{
    yytop = -1;
    yylookahead = false;
    yyskip = 0;
    yyerrorcount = 0;
    yychar = -1;
    yypopflg = false;
    return yypush(0) ? 0 : 1;
}

bool yyparser::yygrowstack()
{
    const int size = yygrowcapacity(yystack_size);
    if (!yystackgrow || size == 0 || !yysetstacksize(size)) {
        yystackoverflow();
        return false;
    }
    return true;
}

int yyparser::yysetstacksize(int size)
{
    assert(size >= 0);
    if (size == yystack_size)
        return 1;
    const size_t attribute = yyattribute_size > 0 ? size_t(yyattribute_size) : 1;
    if (size <= yytop || size_t(size) > SIZE_MAX / attribute)
        return 0;
    short* states = yysstack;
    char* attributes = yysattributestack;
    if (size > yysstack_size) {
        states = static_cast<short*>(malloc(size_t(size) * sizeof(short)));
        attributes = static_cast<char*>(malloc(size_t(size) * attribute));
        if (states == nullptr || attributes == nullptr) {
            free(states);
            free(attributes);
            return 0;
        }
    }
    if (states != yystack) {
        const int keep = yytop + 1;
        if (keep > 0) {
            memcpy(states, yystack, size_t(keep) * sizeof(short));
            memcpy(attributes, yyattributestack, size_t(keep) * attribute);
        }
        if (yystack != yysstack) {
            free(yystack);
            free(yyattributestack);
        }
    }
    yystack = states;
    yyattributestack = attributes;
    yystack_size = size;
    return 1;
}

int yyparser::yygettoken()
{
    assert(yylexerptr != nullptr);
    return yylexerptr->yylex();
}

void yyparser::yyerror(const char* text)
{
    assert(yyerr != nullptr && text != nullptr);
    fprintf(yyerr, "%s\n", text);
}

void yyparser::yysyntaxerror()
{
    yyerror("syntax error");
}

void yyparser::yystackoverflow()
{
    yyerror("yacc stack overflow");
}

void yyparser::yydiscard([[maybe_unused]] int token)
{
    assert(token > 0);
}

void yyparser::yysetin(int token)
{
    yychar = token < 0 ? 0 : token;
    yylookahead = true;
}

int yyparser::yyunclearin()
{
    if (yylookahead || yychar == -1)
        return 0;
    yylookahead = true;
    return 1;
}

void yyparser::yywipe()
{
    yydestructpop(yytop + 1);
    yydestructclearin();
}

void yyparser::yydestructpop(int num)
{
    assert(num >= 0 && yytop - num >= -1);
    for (; num > 0; --num, --yytop)
        if (destructorref != nullptr && destructorref[yystack[yytop]] != -1)
            yydestructvalue(destructorref[yystack[yytop]], yyattribute(yytop));
}

void yyparser::yydestructvalue(int action, const void* value)
{
    memcpy(yyvalptr, value, size_t(yyattribute_size));
    yyrulelength = 0;
    yyaction(action);
}

bool yyparser::yyreadtoken()
{
    const int token = yygettoken();
    yychar = token < 0 ? 0 : token;
    yylookahead = true;
    // A scanner that ran out of buffer has already said why; the parse just ends.
    return yylexerptr == nullptr || !yylexerptr->yyfailed();
}

bool yyparser::yyshift(int state)
{
    if (yyskip > 0)
        --yyskip;
    if (!yypush(static_cast<short>(state)))
        return false;
    yycopyattribute(yyattribute(yytop), yylvalptr);
    yylookahead = false;
    yypopflg = false;
    return true;
}

yyparser::yyreduce_result yyparser::yycallaction(int length, int action)
{
    if (length > 0)
        yycopyattribute(yyvalptr, yyattribute(yytop - length + 1));
    yyexitflg = false;
    yyretireflg = false;
    yyerrorflg = false;
    yyrulelength = length;
    yyaction(action);
    if (yyexitflg)
        return yystop;
    if (yyerrorflg) {
        ++yyerrorcount;
        return yyrecovering;
    }
    return yyreduced;
}

// Pushes the goto state of a reduction and its value; false when the stack overflowed.
bool yyparser::yygoto(int state, int action)
{
    if (!yypush(static_cast<short>(state)))
        return false;
    if (action != -1)
        yycopyattribute(yyattribute(yytop), yyvalptr);
    return true;
}

// Pops states until one shifts the error token (skipping `extra` such states) and shifts it.
bool yyparser::yyrecover(int extra)
{
    for (;;) {
        if (yytop < 0)
            return false;
        const int target = yyerrorshift(yystack[yytop]);
        if (target >= 0 && extra-- == 0) {
            if (!yypush(static_cast<short>(target)))
                return false;
            memset(yyattribute(yytop), 0, size_t(yyattribute_size));
            yyskip = 3;
            return true;
        }
        yypopflg = true;
        yydestructpop(1);
    }
}

// The error action; false when the parse must be abandoned.
bool yyparser::yyerrorstep()
{
    if (yyskip == 0) {
        ++yyerrorcount;
        yysyntaxerror();
    }
    if (yyskip < 3)
        return yyrecover(0);
    // No token was shifted since the last recovery: drop the look-ahead, unless it is the end.
    if (!yylookahead || yychar == 0)
        return false;
    yydiscard(yychar);
    yydestructclearin();
    return true;
}

int yyparser::yyabort()
{
    if (yywipeflg)
        yywipe();
    return 1;
}
