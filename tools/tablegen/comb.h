// Comb packing: overlaying sparse rows in one table, each row at its own base offset.
#ifndef TABLEGEN_COMB_H
#define TABLEGEN_COMB_H

#include <vector>

struct CombRow {
    std::vector<int> columns; // ascending
    bool nonzeroBase = false; // the base 0 is reserved for rows without entries
};

// Returns each row's base (its entry for column c sits at slot base + c; no two entries share
// a slot, no slot is negative) and sets `size` to the number of slots used. Rows without
// columns get base 0.
std::vector<int> packComb(const std::vector<CombRow>& rows, int& size);

#endif
