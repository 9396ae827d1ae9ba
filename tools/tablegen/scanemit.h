#ifndef TABLEGEN_SCANEMIT_H
#define TABLEGEN_SCANEMIT_H

#include "emit.h"
#include "scanner.h"

// Writes NAME_tables.h and NAME_tables.cpp for the scanner.
bool writeScanner(const ScannerInput& scanner, const Dfa& dfa, const OutputOptions& options,
                  Diagnostics& diag);

#endif
