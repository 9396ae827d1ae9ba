// Table-driven LALR(1) parser runtime: the abstract parser and its two table flavours.
#ifndef YYPARSER_H
#define YYPARSER_H

#include "yylexer.h"

#include <cassert>
#include <cstdio>
#include <cstring>
#include <type_traits>

// Action types of the parser tables.
enum {
    YYSHIFT = 0,   // sr = new state
    YYREDUCE = 1,  // sr = rule
    YYERROR = 2,
    YYACCEPT = 3,
    YYDEFAULT = 4, // continue the lookup in state sr
};

struct yyreduction_t {
    short nonterm;
    short length;
    short action; // number passed to yyaction, -1 = none
};

// Fast flavour: comb-packed token actions and gotos.
struct yystateaction_t {
    short base;
    unsigned char lookahead;
    unsigned char type;
    short sr;
};

struct yytokenaction_t {
    short check;
    unsigned char type;
    short sr;
};

struct yystategoto_t {
    short base;
    short def; // state whose gotos are tried next, -1 = none
};

struct yynontermgoto_t {
    short check;
    short next;
};

struct yyfparser_tables {
    int attribute_size;
    int stack_size;
    const yyreduction_t* reduction;
    const yystateaction_t* stateaction;
    const yytokenaction_t* tokenaction;
    int tokenaction_size;
    const yystategoto_t* stategoto;
    const yynontermgoto_t* nontermgoto;
    int nontermgoto_size;
    const short* destructorref;   // per state, -1 = none; null = no destructors
    const short* tokendestref;    // action for token tokendestbase + i, -1 = none
    int tokendestref_size;
    int tokendestbase;
};

// Compact flavour: per-state lists searched in order.
struct yycstateaction_t {
    short tokenaction; // first entry of the state's list
    unsigned char lookahead;
};

// A state's list ends with token -1, which holds the state's default action.
struct yyctokenaction_t {
    short token;
    unsigned char type;
    short sr;
};

// A state's list ends with nonterm -1.
struct yycnontermgoto_t {
    short nonterm;
    short next;
};

// Ended by token -1.
struct yyctokendest_t {
    short token;
    short action;
};

struct yycparser_tables {
    int attribute_size;
    int stack_size;
    const yyreduction_t* reduction;
    const yycstateaction_t* stateaction;
    const yyctokenaction_t* tokenaction;
    const short* stategoto; // per state: first entry of its list in nontermgoto
    const yycnontermgoto_t* nontermgoto;
    const short* destructorref;
    const yyctokendest_t* tokendest;
};

class yyparser {
public:
    yyparser();
    virtual ~yyparser();

protected:
    virtual int yyaction(int action) = 0;
    virtual int yywork() = 0;

public:
    virtual void yydestructclearin() = 0;
    virtual void yystackoverflow();
    virtual void yyerror(const char* text);
    virtual void yysyntaxerror();
    virtual void yydiscard(int token);
    virtual int yygettoken();

    int yycreate(yylexer* lexerptr = nullptr);
    void yydestroy();
    void yycleanup();
    int yyparse();
    // Returns nonzero on failure.
    int yysetup();
    int yypush(short state)
    {
        if (yytop + 1 == yystack_size && !yygrowstack())
            return 0;
        yystack[++yytop] = state;
        return 1;
    }
    int yysetstacksize(int size);
    void yysetin(int token);
    int yyunclearin();
    void yywipe();
    void yydestructpop(int num);

    // $n (1-based) of the rule being reduced.
    template <class T> T yyarg(int n) const
    {
        assert(n >= 1 && n <= yyrulelength);
        return yyread<T>(yyattributestack + size_t(yytop - yyrulelength + n) * size_t(yyattribute_size));
    }
    // $$: during a reduction it starts as $1; in a destructor action it is the value destroyed.
    template <class T> T yyvalue() const { return yyread<T>(yyvalptr); }
    template <class T> void yysetvalue(const T& value) { yywrite(yyvalptr, value); }
    // The value of the token the lexer returns next; shifting the token pushes it.
    template <class T> void yysetlval(const T& value) { yywrite(yylvalptr, value); }

    short* yystack;
    short* yysstack;
    char* yyattributestack;
    char* yysattributestack;
    int yystack_size;
    int yysstack_size;
    int yytop;
    int yyattribute_size;
    void* yyvalptr;
    bool yylookahead;
    int yychar;
    bool yywipeflg;
    bool yypopflg;
    int yyskip;
    bool yyexitflg;
    bool yyretireflg;
    bool yyerrorflg;
    int yyexitcode;
    int yyretirecode;
    int yyerrorpop;
    yylexer* yylexerptr;
    bool yystackgrow;
    void* yylvalptr;
    FILE* yyerr;
    int yyerrorcount;
    // Number of right-hand-side symbols of the rule being reduced.
    int yyrulelength;

protected:
    // Makes room for one more state, or says why there is none; false then.
    bool yygrowstack();
    // Copies one attribute; the usual size of 8 bytes is copied without a call.
    void yycopyattribute(void* to, const void* from) const
    {
        if (yyattribute_size == 8)
            memcpy(to, from, 8);
        else
            memcpy(to, from, size_t(yyattribute_size));
    }
    // Destructor action of the value held in each state; null when the tables have none.
    const short* destructorref;

    // Target of the state's shift on the error token, -1 when it has none.
    virtual int yyerrorshift(int state) const = 0;

    // Pieces of yywork that both flavours share.
    bool yyreadtoken();
    bool yyshift(int state);
    enum yyreduce_result { yyreduced, yystop, yyrecovering };
    yyreduce_result yycallaction(int length, int action);
    bool yygoto(int state, int action);
    bool yyrecover(int extra);
    bool yyerrorstep();
    int yyabort();
    char* yyattribute(int index) const
    {
        return yyattributestack + size_t(index) * size_t(yyattribute_size);
    }
    void yydestructvalue(int action, const void* value);

private:
    template <class T> T yyread(const void* from) const
    {
        static_assert(std::is_trivially_copyable<T>::value, "attributes are copied bytewise");
        assert(sizeof(T) <= size_t(yyattribute_size));
        T value;
        memcpy(&value, from, sizeof(T));
        return value;
    }
    template <class T> void yywrite(void* to, const T& value)
    {
        static_assert(std::is_trivially_copyable<T>::value, "attributes are copied bytewise");
        assert(sizeof(T) <= size_t(yyattribute_size));
        memcpy(to, &value, sizeof(T));
    }
};

class yyfparser : public yyparser {
public:
    void yydestructclearin() override;

protected:
    int yywork() override;
    int yyerrorshift(int state) const override;
    void yyinstall(const yyfparser_tables& tables);

    const yyreduction_t* reduction = nullptr;
    const yystateaction_t* stateaction = nullptr;
    const yytokenaction_t* tokenaction = nullptr;
    int yytokenaction_size = 0;
    const yystategoto_t* stategoto = nullptr;
    const yynontermgoto_t* nontermgoto = nullptr;
    int yynontermgoto_size = 0;
    const short* tokendestref = nullptr;
    int yytokendestref_size = 0;
    int tokendestbase = 0;

private:
    // The action of `state` on `token`; a state that needs no look-ahead takes its default.
    void yylookup(int state, int token, int& type, int& sr) const
    {
        const yystateaction_t& s = stateaction[state];
        const int i = s.base + token;
        if (s.lookahead && i >= 0 && i < yytokenaction_size && tokenaction[i].check == state) {
            type = tokenaction[i].type;
            sr = tokenaction[i].sr;
        } else {
            type = s.type;
            sr = s.sr;
        }
    }
};

class yycparser : public yyparser {
public:
    void yydestructclearin() override;

protected:
    int yywork() override;
    int yyerrorshift(int state) const override;
    void yyinstall(const yycparser_tables& tables);

    const yyreduction_t* reduction = nullptr;
    const yycstateaction_t* stateaction = nullptr;
    const yyctokenaction_t* tokenaction = nullptr;
    const short* stategoto = nullptr;
    const yycnontermgoto_t* nontermgoto = nullptr;
    const yyctokendest_t* tokendest = nullptr;

private:
    const yyctokenaction_t& yylookup(int state, int token) const;
};

#endif
