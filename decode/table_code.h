// Reads one code through a lookup table built by MakeDecodeTable: codes up to `tableBits`
// long in one look-up, longer ones by walking the overflow tree on the following bits.
#pragma once
#include <cstdint>

#include "decode/bit_input.h"
#include "decode/decode_state.h"

inline uint16_t ReadTableCode(const uint16_t* table, uint32_t tableBits, const uint8_t* lengths,
                              uint32_t symbolCount) {
    DecodeState& s = decodeState;
    uint32_t j = table[s.bitBuffer >> (16 - tableBits)];
    if (j < symbolCount) {
        FillBits(lengths[j]);
        return static_cast<uint16_t>(j);
    }
    FillBits(tableBits);
    // Guarded so that a damaged table can neither leave the node arrays nor loop: such a
    // code reads as symbol 0 and the member fails its CRC check.
    for (uint32_t mask = 0x8000; j >= symbolCount; mask >>= 1) {
        if (mask == 0 || j >= TreeNodeCount) return 0;
        j = (s.bitBuffer & mask) ? s.oneChild[j] : s.zeroChild[j];
    }
    if (lengths[j] > tableBits) FillBits(lengths[j] - tableBits);
    return static_cast<uint16_t>(j);
}
