// Table-driven scanner runtime: the abstract lexer and its two table flavours.
#ifndef YYLEXER_H
#define YYLEXER_H

#include <climits>
#include <cstdio>
#include <vector>

class yyparser;

typedef short yymatch_t;

// Capacity after one growth step of a scanner buffer or parser stack: 0 -> 100, else double.
// Returns 0 when doubling would overflow.
inline int yygrowcapacity(int capacity)
{
    if (capacity == 0)
        return 100;
    return capacity > INT_MAX / 2 ? 0 : capacity * 2;
}

// Fast flavour: one record per DFA state, transitions comb-packed.
struct yystate_t {
    short def;   // state tried when the comb check fails; -s sends every byte to s; 0 = none
    short base;  // offset of the state's slots in the transition table
    short match; // 0 not accepting, r > 0 accepts rule r, -k accepts the list from match[k]
};

struct yytransition_t {
    short next;
    short check; // the state owning the slot
};

struct yyflexer_tables {
    int text_size;
    int unput_size;
    const yymatch_t* match;
    const yystate_t* state;
    const yytransition_t* transition;
    int transition_count;
    const unsigned char* backup;
    int state_count; // 0 when not known
};

// Compact flavour: each state lists its byte ranges, ended by an entry whose next is -1.
struct yycstate_t {
    short transition; // index of the state's first entry
    short match;
};

struct yyctransition_t {
    unsigned char first;
    unsigned char last;
    short next;
};

struct yyclexer_tables {
    int text_size;
    int unput_size;
    const yymatch_t* match;
    const yycstate_t* state;
    const yyctransition_t* transition;
    const unsigned char* backup;
};

class yylexer {
public:
    yylexer();
    virtual ~yylexer();

    virtual int yylex() = 0;
    virtual int yyinput();
    virtual void yyoutput(int ch);
    virtual void yyunput(int ch);
    virtual int yywrap();
    virtual int yygetchar();
    virtual void yytextoverflow();
    virtual void yyunputoverflow();

protected:
    virtual int yyaction(int action) = 0;

public:
    int yycreate(yyparser* parserptr = nullptr);
    void yydestroy();
    void yycleanup();
    void yyreset();
    void yyless(int length);
    void yyecho();
    int yysettextsize(int size);
    int yysetunputsize(int size);
    int yyback(const yymatch_t* p, int action) const;

    // Set when a buffer could not grow; yylex then returns 0 until yyreset.
    bool yyfailed() const { return yyfailflg; }
    // The diagnostic of the failure, without its newline; empty while none.
    const char* yyfailure() const { return yyfailtext; }

    int yystart;
    bool yyeol;
    bool yyoldeol;
    int* yystatebuf;
    int* yysstatebuf;
    char* yysstext;
    int yytext_size;
    int yysstext_size;
    int* yyunputbuf;
    int* yysunputbuf;
    int yyunput_size;
    int yysunput_size;
    int yyunputindex;
    bool yymoreflg;
    bool yyrejectflg;
    bool yyreturnflg;
    yyparser* yyparserptr;
    bool yytextgrow;
    bool yyunputgrow;
    FILE* yyin;
    FILE* yyout;
    FILE* yyerr;
    char* yytext;
    int yyleng;
    int yylineno;
    // Largest capacity either buffer may grow to; 0 = no limit.
    int yytextmax;

protected:
    // Set by a lexer whose rule actions never REJECT: a token whose longest match accepts one
    // rule without trailing context is then settled without the general search.
    bool yynoreject = false;
    // A window of input a derived lexer may expose (and refill from yygetchar): while nothing
    // waits in the unput buffer, yylex takes its characters from here without a call per
    // character. A lexer that overrides yyinput leaves the window empty.
    const unsigned char* yyreadbegin = nullptr;
    const unsigned char* yyreadptr = nullptr;
    const unsigned char* yyreadend = nullptr;
    // The next character, as yyinput would give it.
    int yynextchar()
    {
        if (yyunputindex == 0 && yyreadptr != yyreadend) {
            const int ch = *yyreadptr++;
            if (ch == '\n')
                ++yylineno;
            return ch;
        }
        return yyinput();
    }
    // Match field of a state of the installed tables.
    virtual int yystatematch(int state) const = 0;

    // Step 1 of a scan: chooses the start state and starts (or, after yymore, extends) the text.
    int yybegintoken();
    // Makes room for one more character of text; false when the scan has failed.
    bool yytextroom();
    // Runs the rule actions for the characters read since oldleng (none: end of input).
    // True when yylex must return `token`; false to scan the next token.
    bool yyendtoken(int start, int oldleng, const yymatch_t* match, const unsigned char* backup,
                    int& token);

    bool yyfailflg;

private:
    bool yyunputroom();
    bool yygrow(bool text);
    int yyfirstrule(int matchfield, const yymatch_t* match, int after) const;
    bool yyendofinput(int start, const yymatch_t* match, int& token);
    void yysetfailure(const char* what, int capacity);

    char yyfailtext[64];
};

class yyflexer : public yylexer {
public:
    int yylex() override;

protected:
    void yyinstall(const yyflexer_tables& tables);
    int yystatematch(int s) const override;

    const yymatch_t* match = nullptr;
    const yystate_t* state = nullptr;
    const yytransition_t* transition = nullptr;
    int yytransitionmax = 0;
    const unsigned char* backup = nullptr;
private:
    // The next state of every state and byte, unpacked from the comb once so that a character
    // costs one lookup; empty when the number of states is not known or too large.
    std::vector<short> yydense;
    int yynext(int s, int ch) const;
};

class yyclexer : public yylexer {
public:
    int yylex() override;

protected:
    void yyinstall(const yyclexer_tables& tables);
    int yystatematch(int s) const override;

    const yymatch_t* match = nullptr;
    const yycstate_t* state = nullptr;
    const yyctransition_t* transition = nullptr;
    const unsigned char* backup = nullptr;
};

#endif
