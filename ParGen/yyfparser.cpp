#include "yyparser.h"

void yyfparser::yyinstall(const yyfparser_tables& tables)
{
    yyattribute_size = tables.attribute_size;
    yysstack_size = tables.stack_size;
    reduction = tables.reduction;
    stateaction = tables.stateaction;
    tokenaction = tables.tokenaction;
    yytokenaction_size = tables.tokenaction_size;
    stategoto = tables.stategoto;
    nontermgoto = tables.nontermgoto;
    yynontermgoto_size = tables.nontermgoto_size;
    destructorref = tables.destructorref;
    tokendestref = tables.tokendestref;
    yytokendestref_size = tables.tokendestref_size;
    tokendestbase = tables.tokendestbase;
}

int yyfparser::yyerrorshift(int state) const
{
    int type, sr;
    yylookup(state, 256, type, sr);
    while (type == YYDEFAULT)
        yylookup(sr, 256, type, sr);
    return type == YYSHIFT ? sr : -1;
}

int yyfparser::yywork()
{
    assert(stateaction != nullptr);
    for (;;) {
        int state = yystack[yytop];
        int type, sr;
        for (;;) {
            if (stateaction[state].lookahead && !yylookahead && !yyreadtoken())
                return yyabort();
            yylookup(state, yychar, type, sr);
            if (type != YYDEFAULT)
                break;
            state = sr;
        }
        switch (type) {
        case YYSHIFT:
            if (!yyshift(sr))
                return yyabort();
            break;
        case YYREDUCE: {
            const yyreduction_t& rule = reduction[sr];
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
            int g = yystack[yytop];
            int i;
            for (;;) {
                i = stategoto[g].base + rule.nonterm;
                if (i >= 0 && i < yynontermgoto_size && nontermgoto[i].check == g)
                    break;
                g = stategoto[g].def;
                assert(g != -1 && "missing goto entry");
            }
            assert(nontermgoto[i].next != -1 && "missing goto entry");
            if (!yygoto(nontermgoto[i].next, rule.action))
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

void yyfparser::yydestructclearin()
{
    if (yylookahead && tokendestref != nullptr) {
        const int i = yychar - tokendestbase;
        if (i >= 0 && i < yytokendestref_size && tokendestref[i] != -1)
            yydestructvalue(tokendestref[i], yylvalptr);
    }
    yylookahead = false;
}
