// Block layout: 16-bit symbol count; the pre-tree lengths (5-bit count, a 2-bit run of
// zeros after the third); the char lengths coded through the pre-tree (9-bit count);
// the position lengths (4- or 5-bit count); then each symbol, a match followed by its
// position slot and the slot's extra bits. A count of 0 announces a single-symbol code
// whose symbol follows in a field of the same width and which then costs no bits.
#include "tools/pack/block_writer.h"

#include <cstring>
#include <vector>

#include "tools/pack/huffman_lengths.h"

namespace {

// Pre-tree symbol stream for the char lengths: 0 is one zero length, 1 a run of 3 to
// 18 zeros (4 extra bits), 2 a run of 20 to 531 (9 extra bits), s >= 3 the length s - 2.
struct PreTreeItem {
    uint8_t symbol;
    uint16_t extra;
};

int UsedCount(const uint8_t* lengths, int count) {
    while (count > 0 && lengths[count - 1] == 0) --count;
    return count;
}

std::vector<PreTreeItem> CharLengthItems(const uint8_t* lengths) {
    std::vector<PreTreeItem> items;
    const int n = UsedCount(lengths, CharCodeCount);
    for (int i = 0; i < n;) {
        if (lengths[i]) {
            items.push_back({static_cast<uint8_t>(lengths[i] + 2), 0});
            ++i;
            continue;
        }
        int run = 0;
        while (i + run < n && lengths[i + run] == 0) ++run;
        i += run;
        if (run <= 2) {
            for (int k = 0; k < run; ++k) items.push_back({0, 0});
        } else if (run <= 18) {
            items.push_back({1, static_cast<uint16_t>(run - 3)});
        } else if (run == 19) {
            items.push_back({0, 0});
            items.push_back({1, 15});
        } else {
            items.push_back({2, static_cast<uint16_t>(run - 20)});
        }
    }
    return items;
}

// A length as the tables carry it: 0-6 in three bits, 7 and up as 111, one 1 per step
// above 7, and a closing 0.
void PutTableLength(BitSink& out, int length) {
    if (length < 7)
        out.Put(length, 3);
    else
        out.Put((1u << (length - 3)) - 2, length - 3);
}

int TableLengthBits(int length) { return length < 7 ? 3 : length - 3; }

// The pre-tree or position lengths; skipAfter is 3 for the pre-tree, -1 for none.
void PutLengthTable(BitSink& out, const uint8_t* lengths, int count, int countBits, int skipAfter, int single) {
    if (single >= 0) {
        out.Put(0, countBits);
        out.Put(single, countBits);
        return;
    }
    const int n = UsedCount(lengths, count);
    out.Put(n, countBits);
    for (int i = 0; i < n;) {
        PutTableLength(out, lengths[i++]);
        if (i == skipAfter) {
            int zeros = 0;
            while (zeros < 3 && i + zeros < n && lengths[i + zeros] == 0) ++zeros;
            out.Put(zeros, 2);
            i += zeros;
        }
    }
}

uint64_t LengthTableBits(const uint8_t* lengths, int count, int countBits, int skipAfter, int single) {
    if (single >= 0) return 2 * countBits;
    const int n = UsedCount(lengths, count);
    uint64_t bits = countBits;
    for (int i = 0; i < n;) {
        bits += TableLengthBits(lengths[i++]);
        if (i == skipAfter) {
            int zeros = 0;
            while (zeros < 3 && i + zeros < n && lengths[i + zeros] == 0) ++zeros;
            bits += 2;
            i += zeros;
        }
    }
    return bits;
}

int SingleSymbol(const uint32_t* freqs, int count, int used) {
    if (used != 1) return -1;
    for (int s = 0; s < count; ++s)
        if (freqs[s]) return s;
    return -1;
}

const int PreTreeExtraBits[3] = {0, 4, 9};

struct PreTree {
    std::vector<PreTreeItem> items;
    uint8_t lengths[PreTreeCount] = {};
    uint16_t codes[PreTreeCount] = {};
    int single = 0;  // also the form written when the char code is single-symbol
};

PreTree BuildPreTree(const BlockCodes& codes) {
    PreTree tree;
    if (codes.singleChar >= 0) return tree;
    tree.items = CharLengthItems(codes.charLengths);
    uint32_t freqs[PreTreeCount] = {};
    for (const PreTreeItem& item : tree.items) ++freqs[item.symbol];
    int used = BuildCodeLengths(freqs, PreTreeCount, MaxCodeLength, tree.lengths);
    tree.single = SingleSymbol(freqs, PreTreeCount, used);
    if (tree.single < 0) MakeCanonicalCodes(tree.lengths, PreTreeCount, tree.codes);
    return tree;
}

}  // namespace

void SymbolCounts::Add(const SymbolCounts& other) {
    for (int c = 0; c < CharCodeCount; ++c) charFreqs[c] += other.charFreqs[c];
    for (int p = 0; p < 32; ++p) positionFreqs[p] += other.positionFreqs[p];
    extraBits += other.extraBits;
    symbols += other.symbols;
}

SymbolCounts CountSymbols(const LzSymbol* symbols, size_t count) {
    SymbolCounts counts;
    counts.symbols = count;
    for (size_t i = 0; i < count; ++i) {
        ++counts.charFreqs[symbols[i].code];
        if (symbols[i].code < 256) continue;
        int slot = PositionSlot(symbols[i].position);
        ++counts.positionFreqs[slot];
        counts.extraBits += slot > 1 ? slot - 1 : 0;
    }
    return counts;
}

BlockCodes BuildBlockCodes(const SymbolCounts& counts, const MethodShape& shape) {
    BlockCodes codes;
    int used = BuildCodeLengths(counts.charFreqs, CharCodeCount, MaxCodeLength, codes.charLengths);
    codes.singleChar = SingleSymbol(counts.charFreqs, CharCodeCount, used);
    used = BuildCodeLengths(counts.positionFreqs, shape.positionCodeCount, MaxCodeLength, codes.positionLengths);
    codes.singlePosition = used == 0 ? 0 : SingleSymbol(counts.positionFreqs, shape.positionCodeCount, used);
    return codes;
}

BlockCodes BuildBlockCodes(const LzSymbol* symbols, size_t count, const MethodShape& shape) {
    return BuildBlockCodes(CountSymbols(symbols, count), shape);
}

uint64_t BlockBits(const SymbolCounts& counts, const MethodShape& shape) {
    BlockCodes codes = BuildBlockCodes(counts, shape);
    PreTree tree = BuildPreTree(codes);
    uint64_t bits = 16 + LengthTableBits(tree.lengths, PreTreeCount, 5, 3, tree.single) + 9;
    if (codes.singleChar >= 0) {
        bits += 9;
    } else {
        for (const PreTreeItem& item : tree.items) bits += tree.lengths[item.symbol] + PreTreeExtraBits[item.symbol < 3 ? item.symbol : 0];
    }
    bits += LengthTableBits(codes.positionLengths, shape.positionCodeCount, shape.positionCountBits, -1,
                            codes.singlePosition);
    for (int c = 0; c < CharCodeCount; ++c) bits += uint64_t(counts.charFreqs[c]) * codes.charLengths[c];
    for (int p = 0; p < shape.positionCodeCount; ++p) bits += uint64_t(counts.positionFreqs[p]) * codes.positionLengths[p];
    return bits + counts.extraBits;
}

uint64_t BlockBits(const LzSymbol* symbols, size_t count, const MethodShape& shape) {
    return BlockBits(CountSymbols(symbols, count), shape);
}

void WriteBlock(BitSink& out, const LzSymbol* symbols, size_t count, const MethodShape& shape) {
    BlockCodes codes = BuildBlockCodes(symbols, count, shape);
    PreTree tree = BuildPreTree(codes);

    out.Put(static_cast<uint32_t>(count), 16);
    PutLengthTable(out, tree.lengths, PreTreeCount, 5, 3, tree.single);
    if (codes.singleChar >= 0) {
        out.Put(0, 9);
        out.Put(codes.singleChar, 9);
    } else {
        out.Put(UsedCount(codes.charLengths, CharCodeCount), 9);
        for (const PreTreeItem& item : tree.items) {
            out.Put(tree.codes[item.symbol], tree.lengths[item.symbol]);
            if (item.symbol == 1) out.Put(item.extra, 4);
            if (item.symbol == 2) out.Put(item.extra, 9);
        }
    }
    PutLengthTable(out, codes.positionLengths, shape.positionCodeCount, shape.positionCountBits, -1,
                   codes.singlePosition);

    uint16_t charCodes[CharCodeCount];
    uint16_t positionCodes[32];
    MakeCanonicalCodes(codes.charLengths, CharCodeCount, charCodes);
    MakeCanonicalCodes(codes.positionLengths, shape.positionCodeCount, positionCodes);
    for (size_t i = 0; i < count; ++i) {
        const LzSymbol& symbol = symbols[i];
        out.Put(charCodes[symbol.code], codes.charLengths[symbol.code]);
        if (symbol.code < 256) continue;
        int slot = PositionSlot(symbol.position);
        out.Put(positionCodes[slot], codes.positionLengths[slot]);
        if (slot > 1) out.Put(symbol.position, slot - 1);
    }
}
