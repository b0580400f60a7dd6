// MakeDecodeTable: every code pattern found by one look-up or a short tree walk, free
// patterns of incomplete codes as symbol 0, and nothing outside the arrays for any lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "decode/decode_state.h"
#include "decode/make_decode_table.h"

namespace {

using Lengths = std::vector<uint8_t>;

struct Built {
    std::vector<uint16_t> table;
    uint32_t bits;
    uint32_t count;
    // The symbol for a 16-bit pattern, as the decoders find it; -1 when a walk would
    // leave the tree arrays or not end within 16 bits.
    int Decode(uint32_t pattern) const {
        uint32_t j = table[pattern >> (16 - bits)];
        uint32_t rest = pattern << bits;
        for (uint32_t depth = bits; j >= count; ++depth, rest <<= 1) {
            if (depth >= 16 || j >= TreeNodeCount) return -1;
            j = (rest & 0x8000) ? decodeState.oneChild[j] : decodeState.zeroChild[j];
        }
        return static_cast<int>(j);
    }
};

Built Build(const Lengths& lengths, uint32_t bits, uint16_t fill = 0) {
    Built built{std::vector<uint16_t>(size_t{1} << bits, fill), bits, static_cast<uint32_t>(lengths.size())};
    MakeDecodeTable(static_cast<int32_t>(lengths.size()), lengths.data(), bits, built.table.data());
    return built;
}

// Which symbol each 16-bit pattern starts with (-1 for none), from canonical codes:
// shorter codes first, equal lengths by symbol.
std::vector<int> Expected(const Lengths& lengths) {
    std::vector<int> expected(65536, -1);
    uint32_t code = 0;
    for (uint32_t length = 1; length <= 16; ++length, code <<= 1) {
        for (size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] != length) continue;
            const uint32_t first = code++ << (16 - length);
            std::fill(expected.begin() + first, expected.begin() + first + (1u << (16 - length)), static_cast<int>(s));
        }
    }
    return expected;
}

// Lengths of a random complete code over `count` symbols, up to 16 bits: a random leaf
// is split, or with probability `skew` the deepest one, which makes long codes.
Lengths RandomCompleteLengths(size_t count, std::mt19937& random, double skew) {
    Lengths leaves{0};
    while (leaves.size() < count) {
        std::vector<size_t> open;
        for (size_t i = 0; i < leaves.size(); ++i)
            if (leaves[i] < 16) open.push_back(i);
        size_t pick = open[random() % open.size()];
        if (random() % 100 < skew * 100)
            pick = *std::max_element(open.begin(), open.end(), [&](size_t a, size_t b) { return leaves[a] < leaves[b]; });
        const uint8_t depth = ++leaves[pick];
        leaves.push_back(depth);
    }
    std::shuffle(leaves.begin(), leaves.end(), random);
    return leaves;
}

// A code of no symbols at all leaves the table and the tree arrays as they were.
TEST(MakeDecodeTable, AllZeroLengthsChangeNothing) {
    for (uint32_t k = 0; k < TreeNodeCount; ++k) decodeState.zeroChild[k] = decodeState.oneChild[k] = static_cast<uint16_t>(k * 3);
    Built built = Build(Lengths(286, 0), 12, 0x1234);
    EXPECT_EQ(std::count(built.table.begin(), built.table.end(), 0x1234), 4096);
    for (uint32_t k = 0; k < TreeNodeCount; ++k)
        ASSERT_TRUE(decodeState.zeroChild[k] == k * 3 && decodeState.oneChild[k] == k * 3) << k;
}

// Complete codes of every shape the decoders build, with codes up to 16 bits; incomplete
// ones (a single code, only long codes over a table full of an earlier code's nodes),
// whose free patterns are symbol 0; and lengths that are no prefix code, all symbol 0.
TEST(MakeDecodeTable, EveryPatternDecodesAsItsCode) {
    std::mt19937 random(1);
    std::vector<std::pair<Lengths, uint32_t>> codes;
    for (uint32_t count : {19u, 14u, 16u, 17u, 64u, 128u, 286u, 510u})
        for (double skew : {0.0, 0.3, 0.9}) codes.push_back({RandomCompleteLengths(count, random, skew), count > 128 ? 12 : 8});
    codes.push_back({{1, 2, 2}, 8});
    codes.push_back({{0, 0, 0, 0, 0, 1}, 8});
    Lengths deep(300, 0);
    deep[7] = deep[100] = deep[299] = 14;
    codes.push_back({deep, 12});
    for (const auto& [lengths, bits] : codes) {
        SCOPED_TRACE(testing::Message() << lengths.size() << " symbols");
        Built built = Build(lengths, bits, 0x0222);
        std::vector<int> expected = Expected(lengths);
        for (uint32_t x = 0; x < 65536; ++x) ASSERT_EQ(built.Decode(x), std::max(expected[x], 0)) << x;
    }
    Lengths tooLong(19, 0);
    tooLong[0] = tooLong[1] = 1;
    tooLong[2] = 20;
    for (const Lengths& lengths : {Lengths{1, 1, 1}, tooLong}) {
        Built built = Build(lengths, 8, 0x7777);
        EXPECT_EQ(std::count(built.table.begin(), built.table.end(), 0), 256);
    }
}

// Whatever the lengths (the pre-tree reader can produce up to 20), the builder stays in
// its arrays (run under the address sanitizer) and every pattern decodes in 16 bits.
TEST(MakeDecodeTable, ArbitraryLengthsStayInBounds) {
    std::mt19937 random(3);
    for (int round = 0; round < 400; ++round) {
        uint32_t count = round % 2 ? 510 : 1 + random() % 128;
        Lengths lengths(count);
        uint32_t top = 1 + random() % 20;
        for (auto& length : lengths) length = static_cast<uint8_t>(random() % 3 ? random() % (top + 1) : 0);
        if (std::count(lengths.begin(), lengths.end(), 0) == count) continue;  // table kept as it was
        Built built = Build(lengths, count > 128 ? 12 : 8, static_cast<uint16_t>(random()));
        for (uint32_t x = 0; x < 65536; x += 7) {
            int symbol = built.Decode(x);
            ASSERT_GE(symbol, 0) << "round " << round << " pattern " << x;
            ASSERT_LT(static_cast<uint32_t>(symbol), count);
        }
    }
}

}  // namespace
