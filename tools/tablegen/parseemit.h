#ifndef TABLEGEN_PARSEEMIT_H
#define TABLEGEN_PARSEEMIT_H

#include "emit.h"
#include "lalr.h"

// Writes NAME_tables.h, NAME_tables.cpp and NAME_tokens.h for the parser.
bool writeParser(const Grammar& grammar, const std::vector<ParserState>& states,
                 const OutputOptions& options, Diagnostics& diag);

#endif
