// Canonical Huffman lookup tables.
//
// A code of up to tableBits bits fills every table entry that starts with it; a longer
// code's first tableBits bits select an entry holding the root of an overflow tree, whose
// nodes (numbered from the alphabet size up) live in decodeState.zeroChild/oneChild.
// Codes may be incomplete: patterns no code reaches decode as symbol 0. Lengths that do
// not form a prefix code (over-full, or longer than 16 bits) cannot be decoded at all;
// such a table decodes everything as symbol 0 and the member fails its CRC check.
#include "decode/make_decode_table.h"

#include "decode/decode_state.h"

namespace {

constexpr uint32_t MaxCodeLength = 16;
constexpr uint32_t CodeSpace = 1u << MaxCodeLength;

void FillTable(uint16_t* table, uint32_t from, uint32_t to, uint16_t value) {
    for (uint32_t i = from; i < to; ++i) table[i] = value;
}

// Threads the code bits below the table's reach through the overflow tree and leaves
// `symbol` at the end of the path. False when the tree arrays are full.
bool PlaceLongCode(uint16_t* slot, uint32_t code, uint32_t length, uint32_t tableBits,
                   uint16_t symbol, uint32_t& nextNode) {
    DecodeState& s = decodeState;
    uint32_t bits = code << tableBits;
    for (uint32_t depth = tableBits; depth < length; ++depth) {
        if (*slot == 0) {
            if (nextNode >= TreeNodeCount) return false;
            s.zeroChild[nextNode] = 0;
            s.oneChild[nextNode] = 0;
            *slot = static_cast<uint16_t>(nextNode++);
        }
        uint32_t node = *slot;
        if (node >= TreeNodeCount) return false;
        slot = (bits & 0x8000) ? &s.oneChild[node] : &s.zeroChild[node];
        bits <<= 1;
    }
    *slot = symbol;
    return true;
}

}  // namespace

void MakeDecodeTable(int32_t count, const uint8_t* lengths, uint32_t tableBits, uint16_t* table) {
    const uint32_t tableSize = 1u << tableBits;
    uint32_t lengthCount[MaxCodeLength + 1] = {};
    for (int32_t symbol = 0; symbol < count; ++symbol) {
        if (lengths[symbol] > MaxCodeLength) return FillTable(table, 0, tableSize, 0);
        ++lengthCount[lengths[symbol]];
    }

    // start[k]: first code of length k, left-aligned in 16 bits (kept in 32 so that
    // an over-full code shows instead of wrapping).
    uint32_t start[MaxCodeLength + 2];
    uint32_t total = 0;
    for (uint32_t k = 1; k <= MaxCodeLength; ++k) {
        start[k] = total;
        total += lengthCount[k] << (MaxCodeLength - k);
    }
    start[MaxCodeLength + 1] = total;
    if (total == 0) return;  // no codes at all: the table keeps what it held
    if (total > CodeSpace) return FillTable(table, 0, tableSize, 0);

    const uint32_t shift = MaxCodeLength - tableBits;
    FillTable(table, start[tableBits + 1] >> shift, tableSize, 0);

    uint32_t nextNode = static_cast<uint32_t>(count);
    for (int32_t symbol = 0; symbol < count; ++symbol) {
        uint32_t length = lengths[symbol];
        if (length == 0) continue;
        uint32_t code = start[length];
        start[length] += 1u << (MaxCodeLength - length);
        if (length <= tableBits) {
            FillTable(table, code >> shift, start[length] >> shift, static_cast<uint16_t>(symbol));
        } else if (!PlaceLongCode(&table[code >> shift], code, length, tableBits,
                                  static_cast<uint16_t>(symbol), nextNode)) {
            return FillTable(table, 0, tableSize, 0);
        }
    }
}
