// The overflow trees of MakeDecodeTable, for codes longer than their look-up table.
#pragma once
#include <cstdint>

#include "decode/decode_state.h"

// Follows the overflow tree from node j, by the look-ahead bits under `mask` (highest
// first), to a symbol below `count`. A walk that leaves the node arrays or runs out of
// look-ahead bits (a damaged table) ends at symbol 0.
inline uint32_t WalkOverflowTree(uint32_t j, uint32_t lookAhead, uint32_t mask, uint32_t count) {
    const DecodeState& s = decodeState;
    do {
        if (mask == 0 || j >= TreeNodeCount) return 0;
        j = (lookAhead & mask) ? s.oneChild[j] : s.zeroChild[j];
        mask >>= 1;
    } while (j >= count);
    return j;
}
