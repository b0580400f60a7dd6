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

static uint8_t FlaggedLength() { return static_cast<uint8_t>(GetBits(1) ? GetBits(4) + 1 : 0); }
static uint8_t PlainLength() { return static_cast<uint8_t>(GetBits(4)); }

// Reads `count` lengths, or a constant after three leading lengths of 1, and builds `table`.
static void ReadLengthsLh3(uint8_t* lengths, uint32_t count, uint8_t (*readLength)(), uint32_t constantBits,
                           uint16_t* table, uint32_t tableBits) {
    for (uint32_t i = 0; i < count; ++i) {
        lengths[i] = readLength();
        if (i == 2 && StartsWithThreeOnes(lengths)) {
            const uint32_t symbol = GetBits(constantBits);
            memset(lengths, 0, count);
            FillConstant(table, 1u << tableBits, symbol, count);
            return;
        }
    }
    MakeDecodeTable(static_cast<int32_t>(count), lengths, tableBits, table);
}

static void ReadCharLengthsLh3() {
    ReadLengthsLh3(decodeState.charLengths, Lh3CharCount, FlaggedLength, 9, decodeState.charTable, CharTableBits);
}

static void ReadPositionLengthsLh3() {
    ReadLengthsLh3(decodeState.ptLengths, PositionGroupLimit, PlainLength, 10, decodeState.ptTable, PtTableBits);
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
