// -lh1- codes for the fast window loop (window_loop.h): the adaptive tree walked on
// the wide bit buffer, and the fixed grouped position code read in one look.
#pragma once
#include <cstdint>

#include "decode/adaptive_tree.h"
#include "decode/bit_access.h"
#include "decode/decode_state.h"

struct Lh1Codes {
    // The refill before it leaves 57 bits; a code longer than 32 bits (deeper than any
    // tree of these weights grows, but a bound costs nothing) refills on the way. Slots
    // are pointer-wide: no widening between one load and the next.
    uint32_t Char(WideBits& in) {
        const DecodeState& s = decodeState;
        intptr_t c = s.treeChild[CharRootSlot];
        uint32_t look = in.Peek32();
        uint32_t steps = 0;
        while (c >= 0) {
            if (steps == 32) {
                in.Drop(32);
                in.Refill();
                look = in.Peek32();
                steps = 0;
            }
            c = s.treeChild[c - static_cast<intptr_t>(look >> 31)];
            look <<= 1;
            ++steps;
        }
        in.Drop(steps);
        UpdateCharTree(static_cast<uint32_t>(~c));
        return static_cast<uint32_t>(~c);
    }
    // At least 25 bits are left after Char; a position takes at most 14 (the fixed code
    // of 64 groups has codes of 8 bits at most).
    uint32_t Distance(WideBits& in) {
        const DecodeState& s = decodeState;
        const uint32_t look = in.Peek32();
        const uint32_t group = s.ptTable[look >> (32 - PtTableBits)] & 63;
        const uint32_t length = s.ptLengths[group];
        const uint32_t low = (look << length) >> (32 - PositionRawBits);
        in.Drop(length + PositionRawBits);
        return group * PositionGroupBytes + low + 1;
    }
};
