// -lh3-: static Huffman codes sent per block. Block header: 16-bit code count (0 means
// 65536); per literal/length symbol 0..285 a flag bit and, when set, 4 bits of length - 1;
// a choice bit, then 128 four-bit position group lengths (1) or the fixed table (0).
// Three leading lengths of 1 cannot start a prefix code: they announce a constant symbol
// (9 bits) or group (10 bits) in place of the remaining lengths, costing no bits per code.
#include <cstring>

#include "decode/adaptive_tree.h"
#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/make_decode_table.h"
#include "decode/method_table.h"
#include "decode/table_code.h"

constexpr uint32_t Lh3CharCount = 286;
constexpr uint32_t Lh3EscapeCode = 285;

static bool StartsWithThreeOnes(const uint8_t* lengths) {
    return lengths[0] == 1 && lengths[1] == 1 && lengths[2] == 1;
}

// Every lookup of the constant yields `symbol` at no cost. A constant beyond the alphabet
// would read as a tree node; it yields symbol 0 instead and the member fails its CRC.
static void FillConstant(uint16_t* table, uint32_t entries, uint32_t symbol, uint32_t count) {
    const uint16_t value = static_cast<uint16_t>(symbol < count ? symbol : 0);
    for (uint32_t i = 0; i < entries; ++i) table[i] = value;
}

static void ReadCharLengthsLh3() {
    DecodeState& s = decodeState;
    for (uint32_t i = 0; i < Lh3CharCount; ++i) {
        s.charLengths[i] = static_cast<uint8_t>(GetBits(1) ? GetBits(4) + 1 : 0);
        if (i == 2 && StartsWithThreeOnes(s.charLengths)) {
            const uint32_t symbol = GetBits(9);
            memset(s.charLengths, 0, Lh3CharCount);
            FillConstant(s.charTable, 1u << CharTableBits, symbol, Lh3CharCount);
            return;
        }
    }
    MakeDecodeTable(Lh3CharCount, s.charLengths, CharTableBits, s.charTable);
}

static void ReadPositionLengthsLh3() {
    DecodeState& s = decodeState;
    for (uint32_t i = 0; i < PositionGroupLimit; ++i) {
        s.ptLengths[i] = static_cast<uint8_t>(GetBits(4));
        if (i == 2 && StartsWithThreeOnes(s.ptLengths)) {
            const uint32_t group = GetBits(10);
            memset(s.ptLengths, 0, PositionGroupLimit);
            FillConstant(s.ptTable, 1u << PtTableBits, group, PositionGroupLimit);
            return;
        }
    }
    MakeDecodeTable(PositionGroupLimit, s.ptLengths, PtTableBits, s.ptTable);
}

static void ReadBlockHeaderLh3() {
    DecodeState& s = decodeState;
    s.lh3BlockRemaining = GetBits(16);
    ReadCharLengthsLh3();
    if (GetBits(1)) {
        ReadPositionLengthsLh3();
    } else {
        BuildFixedPositionLengths(1);
        MakeDecodeTable(PositionGroupLimit, s.ptLengths, PtTableBits, s.ptTable);
    }
}

void StartLh3(FileHandle& input) {
    DecodeState& s = decodeState;
    InitBitInput(input);
    s.positionGroupCount = PositionGroupLimit;
    s.lh3BlockRemaining = 0;
}

uint16_t DecodeCharLh3() {
    DecodeState& s = decodeState;
    if (s.lh3BlockRemaining == 0) ReadBlockHeaderLh3();
    --s.lh3BlockRemaining;  // a count of 0 thus gives 65536 codes
    const uint16_t code = ReadTableCode(s.charTable, CharTableBits, s.charLengths, Lh3CharCount);
    if (code == Lh3EscapeCode) return static_cast<uint16_t>(code + GetBits(8));
    return code;
}
