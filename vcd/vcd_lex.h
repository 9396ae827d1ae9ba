// Scanner of VCD text. The token rules live in vcd.l, the token numbers in vcd.y.
#ifndef VCD_LEX_H
#define VCD_LEX_H

#include "yylexer.h"

class vcd_lex : public yyflexer {
public:
    vcd_lex();

    void yytables();

    // The last token returned by a tracking rule; TEXT_COMMAND while inside a text block.
    int lastToken;

protected:
    int yyaction(int rule) override;
};

#endif
