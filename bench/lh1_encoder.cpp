// The coder drives the decoder's own tree: a symbol's code is the path from the root to
// its leaf, and after each symbol both sides make the same update.
#include "bench/lh1_encoder.h"

#include "decode/adaptive_tree.h"
#include "decode/decode_state.h"
#include "decode/make_decode_table.h"
#include "support/bit_writer.h"

namespace {

constexpr uint32_t MinMatch = 3, MaxMatch = 60, MaxDistance = 4095;  // positions 0 .. 4094
constexpr uint32_t HashBits = 14, ChainLimit = 64;

uint32_t Hash(const uint8_t* p) { return ((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & ((1u << HashBits) - 1); }

class Coder {
public:
    Coder() {
        DecodeState& s = decodeState;
        s.charSymbolCount = 314;
        s.longestMatch = 60;
        s.positionGroupCount = 64;
        InitCharTree();
        BuildFixedPositionLengths(0);
        MakeDecodeTable(64, s.ptLengths, PtTableBits, s.ptTable);
        // A group's code: the top bits of the first table entry that reads as it.
        for (uint32_t i = 256; i-- > 0;) groupCode_[s.ptTable[i]] = i >> (PtTableBits - s.ptLengths[s.ptTable[i]]);
    }

    void Symbol(uint32_t symbol) {
        const DecodeState& s = decodeState;
        uint32_t code = 0;
        int length = 0;
        for (int32_t slot = s.leafOfSymbol[symbol]; slot != CharRootSlot; ++length) {
            const int32_t parent = s.treeParent[slot];
            code |= static_cast<uint32_t>(slot != s.treeChild[parent]) << length;  // 1 takes the slot below
            slot = parent;
        }
        out.Put(code, length);
        UpdateCharTree(symbol);
    }

    void Position(uint32_t position) {
        out.Put(groupCode_[position / 64], decodeState.ptLengths[position / 64]).Put(position % 64, 6);
    }

    BitWriter out;

private:
    uint32_t groupCode_[64] = {};
};

}  // namespace

std::vector<uint8_t> EncodeLh1(const std::vector<uint8_t>& data) {
    Coder coder;
    const size_t size = data.size();
    std::vector<int64_t> head(1u << HashBits, -1), previous(size, -1);
    auto insert = [&](size_t at) {
        if (at + MinMatch > size) return;
        const uint32_t h = Hash(&data[at]);
        previous[at] = head[h];
        head[h] = static_cast<int64_t>(at);
    };
    for (size_t at = 0; at < size;) {
        uint32_t bestLength = 0;
        size_t bestFrom = 0;
        const size_t limit = size - at < MaxMatch ? size - at : MaxMatch;
        int64_t candidate = at + MinMatch <= size ? head[Hash(&data[at])] : -1;
        for (uint32_t tries = 0; candidate >= 0 && at - candidate <= MaxDistance && tries < ChainLimit && bestLength < limit;
             ++tries, candidate = previous[candidate]) {
            uint32_t length = 0;
            while (length < limit && data[candidate + length] == data[at + length]) ++length;
            if (length > bestLength) bestLength = length, bestFrom = static_cast<size_t>(candidate);
        }
        if (bestLength < MinMatch) bestLength = 1;
        coder.Symbol(bestLength == 1 ? data[at] : 253 + bestLength);
        if (bestLength > 1) coder.Position(static_cast<uint32_t>(at - bestFrom - 1));
        for (size_t end = at + bestLength; at < end; ++at) insert(at);
    }
    return coder.out.Bytes();
}
