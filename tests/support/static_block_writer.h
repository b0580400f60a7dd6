// Test-only writer of -lh4- to -lh7- packed streams: blocks with the code lengths given,
// so that hand-made and random streams can be decoded and compared with what went in.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "support/bit_writer.h"

namespace static_stream {

using Lengths = std::vector<uint8_t>;

// One item of the symbol stream: a literal, or a match of `length` bytes (3-256) taken
// from `distance` bytes back (1-65536).
struct Item {
    uint32_t length = 0;  // 0 for a literal
    uint32_t value = 0;   // the literal byte, or the distance
    static Item Literal(uint8_t byte) { return {0, byte}; }
    static Item Match(uint32_t length, uint32_t distance) { return {length, distance}; }
};

// Canonical codes: shorter codes first, equal lengths by symbol; the first code is 0.
inline std::vector<uint32_t> CanonicalCodes(const Lengths& lengths) {
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (uint32_t length = 1; length <= 16; ++length) {
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == length) codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

// Lengths of a random complete code over all `count` symbols, none longer than
// `maxLength`. `skew` (0-1) is how often the deepest leaf is split, making long codes.
inline Lengths RandomCompleteLengths(size_t count, std::mt19937& random, double skew = 0.0,
                                     uint32_t maxLength = 16) {
    std::vector<uint8_t> leaves{0};
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    while (leaves.size() < count) {
        std::vector<size_t> open;
        size_t deepest = SIZE_MAX;
        for (size_t i = 0; i < leaves.size(); ++i) {
            if (leaves[i] >= maxLength) continue;
            open.push_back(i);
            if (deepest == SIZE_MAX || leaves[i] > leaves[deepest]) deepest = i;
        }
        size_t pick = coin(random) < skew ? deepest : open[random() % open.size()];
        uint8_t depth = static_cast<uint8_t>(leaves[pick] + 1);
        leaves[pick] = depth;
        leaves.push_back(depth);
    }
    if (count == 1) leaves[0] = 1;
    std::shuffle(leaves.begin(), leaves.end(), random);
    return Lengths(leaves.begin(), leaves.end());
}

inline void PutCode(BitWriter& out, const Lengths& lengths, const std::vector<uint32_t>& codes, uint32_t symbol) {
    out.Put(codes.at(symbol), lengths.at(symbol));
}

// A length as the pre-tree and position lengths are sent: 0-6 in 3 bits, 7 and up as
// 111, (length - 7) ones and a zero.
inline void PutShortLength(BitWriter& out, uint32_t length) {
    if (length < 7) {
        out.Put(length, 3);
        return;
    }
    out.Put(7, 3);
    for (uint32_t i = 7; i < length; ++i) out.Put(1, 1);
    out.Put(0, 1);
}

// Pre-tree (skipIndex 3) or position lengths (skipIndex -1); a code with one symbol
// and no others is sent as count 0 and the symbol.
inline void PutPtLengths(BitWriter& out, const Lengths& lengths, int countBits, int skipIndex) {
    size_t n = lengths.size();
    while (n > 0 && lengths[n - 1] == 0) --n;
    if (skipIndex >= 0 && n < static_cast<size_t>(skipIndex)) n = skipIndex;
    out.Put(static_cast<uint32_t>(n), countBits);
    for (size_t i = 0; i < n; ++i) {
        PutShortLength(out, lengths[i]);
        if (static_cast<int>(i) + 1 == skipIndex) out.Put(0, 2);
    }
}

// The char/length lengths through the pre-tree, zero runs folded as the format allows.
inline void PutCharLengths(BitWriter& out, const Lengths& lengths, const Lengths& preTree) {
    const auto codes = CanonicalCodes(preTree);
    size_t n = lengths.size();
    while (n > 0 && lengths[n - 1] == 0) --n;
    out.Put(static_cast<uint32_t>(n), 9);
    for (size_t i = 0; i < n;) {
        if (lengths[i] != 0) {
            PutCode(out, preTree, codes, lengths[i] + 2u);
            ++i;
            continue;
        }
        size_t run = 0;
        while (i + run < n && lengths[i + run] == 0) ++run;
        if (run >= 20 && run <= 531) {
            PutCode(out, preTree, codes, 2);
            out.Put(static_cast<uint32_t>(run - 20), 9);
        } else if (run >= 3) {
            run = run > 18 ? 18 : run;
            PutCode(out, preTree, codes, 1);
            out.Put(static_cast<uint32_t>(run - 3), 4);
        } else {
            run = 1;
            PutCode(out, preTree, codes, 0);
        }
        i += run;
    }
}

struct Codes {
    Lengths preTree;    // 19
    Lengths chars;      // 510
    Lengths positions;  // the method's position code count
};

// Random complete codes that give every symbol a code.
inline Codes RandomCodes(size_t positionCount, std::mt19937& random, double skew) {
    return {RandomCompleteLengths(19, random, 0.0, 7), RandomCompleteLengths(510, random, skew),
            RandomCompleteLengths(positionCount, random, skew)};
}

inline void PutItem(BitWriter& out, const Codes& codes, const std::vector<uint32_t>& charCodes,
                    const std::vector<uint32_t>& positionCodes, const Item& item) {
    if (item.length == 0) {
        PutCode(out, codes.chars, charCodes, item.value);
        return;
    }
    PutCode(out, codes.chars, charCodes, item.length + 253);
    uint32_t p = item.value - 1;
    uint32_t j = 0;
    while ((p >> j) != 0) ++j;  // code j covers 2^(j-1) .. 2^j - 1
    PutCode(out, codes.positions, positionCodes, j);
    if (j > 1) out.Put(p - (1u << (j - 1)), static_cast<int>(j - 1));
}

// One block: its header, then `items` coded with `codes`. positionCountBits is 4 or 5.
inline void PutBlock(BitWriter& out, const Codes& codes, int positionCountBits,
                     const std::vector<Item>& items) {
    out.Put(static_cast<uint32_t>(items.size() & 0xFFFF), 16);
    PutPtLengths(out, codes.preTree, 5, 3);
    PutCharLengths(out, codes.chars, codes.preTree);
    PutPtLengths(out, codes.positions, positionCountBits, -1);
    const auto charCodes = CanonicalCodes(codes.chars);
    const auto positionCodes = CanonicalCodes(codes.positions);
    for (const Item& item : items) PutItem(out, codes, charCodes, positionCodes, item);
}

// What the items produce, with the window's initial spaces behind the first byte.
inline std::vector<uint8_t> Expand(const std::vector<Item>& items) {
    std::vector<uint8_t> out;
    for (const Item& item : items) {
        if (item.length == 0) {
            out.push_back(static_cast<uint8_t>(item.value));
            continue;
        }
        for (uint32_t k = 0; k < item.length; ++k) {
            int64_t from = static_cast<int64_t>(out.size()) - item.value;
            out.push_back(from >= 0 ? out[from] : ' ');
        }
    }
    return out;
}

}  // namespace static_stream
