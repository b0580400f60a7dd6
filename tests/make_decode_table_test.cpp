// MakeDecodeTable: every code pattern found by one look-up or a short tree walk, free
// patterns of incomplete codes as symbol 0, and nothing outside the arrays for any lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "decode/decode_state.h"
#include "decode/make_decode_table.h"
#include "support/static_block_writer.h"

namespace {

using static_stream::Lengths;

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

// Which symbol each 16-bit pattern starts with (-1 for none).
std::vector<int> Expected(const Lengths& lengths) {
    std::vector<int> expected(65536, -1);
    const auto codes = static_stream::CanonicalCodes(lengths);
    for (size_t s = 0; s < lengths.size(); ++s) {
        if (lengths[s] == 0) continue;
        uint32_t first = codes[s] << (16 - lengths[s]);
        for (uint32_t x = first; x < first + (1u << (16 - lengths[s])); ++x) expected[x] = static_cast<int>(s);
    }
    return expected;
}

TEST(MakeDecodeTable, ShortCodesFillTheirRanges) {
    Built built = Build({1, 2, 2}, 8, 0x7777);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(built.table[i], i < 128 ? 0 : i < 192 ? 1 : 2) << i;
}

TEST(MakeDecodeTable, AllZeroLengthsChangeNothing) {
    for (uint32_t k = 0; k < TreeNodeCount; ++k) {
        decodeState.zeroChild[k] = static_cast<uint16_t>(k * 3);
        decodeState.oneChild[k] = static_cast<uint16_t>(k * 5);
    }
    Built built = Build(Lengths(286, 0), 12, 0x1234);
    for (uint16_t entry : built.table) ASSERT_EQ(entry, 0x1234);
    for (uint32_t k = 0; k < TreeNodeCount; ++k) {
        ASSERT_EQ(decodeState.zeroChild[k], static_cast<uint16_t>(k * 3));
        ASSERT_EQ(decodeState.oneChild[k], static_cast<uint16_t>(k * 5));
    }
}

TEST(MakeDecodeTable, FreePatternsOfIncompleteCodesAreSymbolZero) {
    // One code of length 1 for symbol 5: patterns starting with 1 are free.
    Built single = Build({0, 0, 0, 0, 0, 1}, 8, 0x7777);
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(single.table[i], i < 128 ? 5 : 0) << i;

    // Only long codes, and a table full of an earlier code's nodes: no stale entry may
    // survive, every pattern is one of the codes or symbol 0.
    Lengths deep(300, 0);
    deep[7] = deep[100] = deep[299] = 14;
    Built built = Build(deep, 12, 0x0222);
    std::vector<int> expected = Expected(deep);
    for (uint32_t x = 0; x < 65536; ++x) {
        ASSERT_EQ(built.Decode(x), expected[x] < 0 ? 0 : expected[x]) << x;
    }
}

// Random complete codes of every shape the decoders build, with codes up to 16 bits.
TEST(MakeDecodeTable, CompleteCodesDecodeEveryPattern) {
    std::mt19937 random(1);
    const struct { uint32_t count, bits; } shapes[] = {{19, 8}, {14, 8}, {16, 8}, {17, 8}, {64, 8},
                                                       {128, 8}, {286, 12}, {510, 12}};
    for (const auto& shape : shapes) {
        for (double skew : {0.0, 0.3, 0.9}) {
            SCOPED_TRACE(testing::Message() << shape.count << " symbols, skew " << skew);
            Lengths lengths = static_stream::RandomCompleteLengths(shape.count, random, skew);
            Built built = Build(lengths, shape.bits, 0x5555);
            std::vector<int> expected = Expected(lengths);
            for (uint32_t x = 0; x < 65536; ++x) ASSERT_EQ(built.Decode(x), expected[x]) << x;
        }
    }
}

TEST(MakeDecodeTable, CodesThatAreNoPrefixCodeDecodeAsSymbolZero) {
    Built overFull = Build({1, 1, 1}, 8, 0x7777);
    for (uint16_t entry : overFull.table) ASSERT_EQ(entry, 0);
    Lengths tooLong(19, 0);
    tooLong[0] = tooLong[1] = 1;
    tooLong[2] = 20;
    Built built = Build(tooLong, 8, 0x7777);
    for (uint16_t entry : built.table) ASSERT_EQ(entry, 0);
}

// Whatever the lengths (the pre-tree reader can produce up to 20), the builder stays in
// its arrays (run under the address sanitizer) and every pattern decodes in 16 bits.
TEST(MakeDecodeTable, ArbitraryLengthsStayInBounds) {
    std::mt19937 random(3);
    for (int round = 0; round < 400; ++round) {
        uint32_t count = round % 2 ? 510 : 1 + random() % 128;
        uint32_t bits = count > 128 ? 12 : 8;
        Lengths lengths(count);
        uint32_t top = 1 + random() % 20;
        for (auto& length : lengths) length = static_cast<uint8_t>(random() % 3 ? random() % (top + 1) : 0);
        if (std::count(lengths.begin(), lengths.end(), 0) == count) continue;  // table kept as it was
        Built built = Build(lengths, bits, static_cast<uint16_t>(random()));
        for (uint32_t x = 0; x < 65536; x += 7) {
            int symbol = built.Decode(x);
            ASSERT_GE(symbol, 0) << "round " << round << " pattern " << x;
            ASSERT_LT(static_cast<uint32_t>(symbol), count);
        }
    }
}

}  // namespace
