// The grouped position code of -lh1- and -lh3-: a Huffman code for position / 64 (the
// group) through ptTable, then the six low bits raw. -lh1- always uses fixed lengths;
// -lh3- uses them when a block header asks for them.
#include "decode/adaptive_tree.h"
#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "decode/method_table.h"
#include "decode/table_code.h"

// A starting length, then the groups at which the length grows by one (a group listed
// twice grows it by two); 0 ends the list. Both give complete codes.
static const uint8_t FixedLengthSteps[2][9] = {
    {3, 1, 4, 12, 24, 48, 0},            // 64 groups: lengths 3 to 8
    {2, 1, 1, 3, 6, 13, 31, 78, 0},      // 128 groups: lengths 2 to 9
};

void BuildFixedPositionLengths(uint32_t table) {
    DecodeState& s = decodeState;
    const uint8_t* step = FixedLengthSteps[table != 0];
    uint8_t length = *step++;
    const uint32_t count = s.positionGroupCount < PtLengthsSize ? s.positionGroupCount : PtLengthsSize;
    for (uint32_t group = 0; group < count; ++group) {
        for (; *step != 0 && *step == group; ++step) ++length;
        s.ptLengths[group] = length;
    }
}

uint16_t DecodePositionGrouped() {
    DecodeState& s = decodeState;
    const uint32_t group = ReadTableCode(s.ptTable, PtTableBits, s.ptLengths, s.positionGroupCount);
    return static_cast<uint16_t>(group * PositionGroupBytes + GetBits(PositionRawBits));
}
