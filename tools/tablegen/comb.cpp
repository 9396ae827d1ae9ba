#include "comb.h"

#include <algorithm>
#include <numeric>

std::vector<int> packComb(const std::vector<CombRow>& rows, int& size)
{
    std::vector<int> bases(rows.size(), 0);
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    // Fullest rows first: the sparse ones fill the gaps they leave.
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return rows[a].columns.size() > rows[b].columns.size();
    });
    std::vector<bool> used;
    size_t firstFree = 0;
    size = 0;
    for (size_t r : order) {
        const std::vector<int>& columns = rows[r].columns;
        if (columns.empty())
            continue;
        int base = std::max(-columns.front(), int(firstFree) - columns.front());
        for (;; ++base) {
            if (base == 0 && rows[r].nonzeroBase)
                continue;
            bool fits = true;
            for (int c : columns) {
                const size_t slot = size_t(base + c);
                if (slot < used.size() && used[slot]) {
                    fits = false;
                    break;
                }
            }
            if (fits)
                break;
        }
        for (int c : columns) {
            const size_t slot = size_t(base + c);
            if (slot >= used.size())
                used.resize(slot + 1, false);
            used[slot] = true;
        }
        while (firstFree < used.size() && used[firstFree])
            ++firstFree;
        bases[r] = base;
        size = std::max(size, base + columns.back() + 1);
    }
    return bases;
}
