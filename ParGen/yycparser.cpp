#include "yyparser.h"

void yycparser::yyinstall(const yycparser_tables& tables)
{
    yyattribute_size = tables.attribute_size;
    yysstack_size = tables.stack_size;
    reduction = tables.reduction;
    stateaction = tables.stateaction;
    tokenaction = tables.tokenaction;
    stategoto = tables.stategoto;
    nontermgoto = tables.nontermgoto;
    destructorref = tables.destructorref;
    tokendest = tables.tokendest;
}

// The entry of `state` for `token`; a state that needs no look-ahead takes its default.
const yyctokenaction_t& yycparser::yylookup(int state, int token) const
{
    const yyctokenaction_t* a = &tokenaction[stateaction[state].tokenaction];
    if (stateaction[state].lookahead)
        while (a->token != -1 && a->token != token)
            ++a;
    else
        while (a->token != -1)
            ++a;
    return *a;
}

int yycparser::yyerrorshift(int state) const
{
    const yyctokenaction_t* a = &yylookup(state, 256);
    while (a->type == YYDEFAULT)
        a = &yylookup(a->sr, 256);
    return a->type == YYSHIFT ? a->sr : -1;
}

int yycparser::yywork()
{
    assert(stateaction != nullptr);
    for (;;) {
        int state = yystack[yytop];
        const yyctokenaction_t* a;
        for (;;) {
            if (stateaction[state].lookahead && !yylookahead && !yyreadtoken())
                return yyabort();
            a = &yylookup(state, yychar);
            if (a->type != YYDEFAULT)
                break;
            state = a->sr;
        }
        switch (a->type) {
        case YYSHIFT:
            if (!yyshift(a->sr))
                return yyabort();
            break;
        case YYREDUCE: {
            const yyreduction_t& rule = reduction[a->sr];
            if (rule.action != -1) {
                const yyreduce_result result = yycallaction(rule.length, rule.action);
                if (result == yystop)
                    return yyexitcode;
                if (result == yyrecovering) {
                    if (!yyrecover(yyerrorpop))
                        return yyabort();
                    break;
                }
            }
            yytop -= rule.length;
            const yycnontermgoto_t* g = &nontermgoto[stategoto[yystack[yytop]]];
            while (g->nonterm != -1 && g->nonterm != rule.nonterm)
                ++g;
            assert(g->nonterm != -1 && g->next != -1 && "missing goto entry");
            if (!yygoto(g->next, rule.action))
                return yyabort();
            if (rule.action != -1 && yyretireflg)
                return yyretirecode;
            break;
        }
        case YYACCEPT:
            return 0;
        default:
            if (!yyerrorstep())
                return yyabort();
            break;
        }
    }
}

void yycparser::yydestructclearin()
{
    if (yylookahead && tokendest != nullptr) {
        const yyctokendest_t* d = tokendest;
        while (d->token != -1 && d->token != yychar)
            ++d;
        if (d->token != -1)
            yydestructvalue(d->action, yylvalptr);
    }
    yylookahead = false;
}
