// -lh1- and -lh2-: literal/length codes through the adaptive tree, updated after every
// code. -lh1-: 314 symbols, no escape, grouped fixed position code. -lh2-: 286 symbols,
// symbol 285 followed by 8 extra bits (lengths 32 to 287), adaptive position tree.
#include "decode/adaptive_tree.h"
#include "decode/bit_access.h"
#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/make_decode_table.h"
#include "decode/method_table.h"
#include "decode/window_loop.h"

void StartLh1(FileHandle& input) {
    DecodeState& s = decodeState;
    s.charSymbolCount = 314;
    s.longestMatch = 60;
    InitBitInput(input);
    s.positionGroupCount = 64;
    InitCharTree();
    BuildFixedPositionLengths(0);
    MakeDecodeTable(64, s.ptLengths, PtTableBits, s.ptTable);
}

void StartLh2(FileHandle& input) {
    DecodeState& s = decodeState;
    s.charSymbolCount = 286;
    s.longestMatch = 256;
    InitBitInput(input);
    InitCharTree();
    InitPositionTree();
}

uint16_t DecodeCharAdaptive() {
    const uint16_t symbol = WalkAdaptiveTree(CharRootSlot);
    UpdateCharTree(symbol);  // the escape itself counts, before its extra bits
    if (symbol == decodeState.escapeCode) return static_cast<uint16_t>(symbol + GetBits(8));
    return symbol;
}

namespace {

// -lh1- codes for the window loop: the tree walk on the wide bit buffer, the update
// inlined, and the grouped position code through entries that hold a group and the
// length of its code together (group | length << 8).
struct Lh1Codes {
    WideBits in;
    uint16_t positions[1 << PtTableBits];

    Lh1Codes() {
        const DecodeState& s = decodeState;
        for (uint32_t i = 0; i < (1u << PtTableBits); ++i) {
            const uint32_t group = s.ptTable[i] & 63;  // the fixed code of 64 groups, all within 8 bits
            positions[i] = static_cast<uint16_t>(group | s.ptLengths[group] << 8);
        }
    }
    // The refill before it leaves 57 bits; a code longer than 32 bits (deeper than any
    // tree of these weights grows, but a bound costs nothing) refills on the way.
    uint32_t Char() {
        const DecodeState& s = decodeState;
        int64_t c = s.treeChild[CharRootSlot];  // 64 bits: no widening between the loads
        uint64_t look = in.Peek64();
        uint32_t steps = 0;
        while (c >= 0) {
            if (steps == 32) {
                in.Drop(32);
                in.Refill();
                look = in.Peek64();
                steps = 0;
            }
            c = s.treeChild[c - static_cast<int64_t>(look >> 63)];
            look <<= 1;
            ++steps;
        }
        in.Drop(steps);
        UpdateCharTree(static_cast<uint32_t>(~c));
        return static_cast<uint32_t>(~c);
    }
    // At least 25 bits are left after Char; a position takes at most 14.
    uint32_t Distance() {
        const uint32_t look = in.Peek32();
        const uint32_t entry = positions[look >> (32 - PtTableBits)];
        const uint32_t length = entry >> 8;
        const uint32_t low = (look << length) >> (32 - PositionRawBits);
        in.Drop(length + PositionRawBits);
        return (entry & 0xFF) * PositionGroupBytes + low + 1;
    }
    void Save() {}
};

}  // namespace

bool RunLh1WindowLoop(DecodeJob& job) {
    Lh1Codes codes;
    return window_loop::Run(job, codes);
}
