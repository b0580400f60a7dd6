// The package builder's encoder: every stream it writes must decode to the input byte
// for byte with our own decoder, whatever the data, the method and the level; code
// lengths must stay within 16 bits and form complete codes; output must not depend on
// how the input arrives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "support/packed_member.h"
#include "tools/pack/bit_sink.h"
#include "tools/pack/block_cutter.h"
#include "tools/pack/block_writer.h"
#include "tools/pack/crc16.h"
#include "tools/pack/huffman_lengths.h"
#include "tools/pack/lzh_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Random bytes (kind 0); words of a small vocabulary, skewed, with plenty of matches at
// every distance and literal statistics that change along the way (1); long runs of one
// byte, short repeated patterns and stretches of noise (2).
Bytes Data(int kind, size_t n, uint32_t seed) {
    static const char* const Words[] = {"the ",   "window ", "match ",  "static ", "Huffman ", "block ",
                                        "code\n", "int ",    "return ", "{\n    ", "}\n",      "value = ",
                                        "0x7f, ", "length ", "// ",     "struct "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < n) {
        const uint32_t r = rng();
        if (kind == 0) {
            out.push_back(static_cast<uint8_t>(r));
        } else if (kind == 1) {
            const char* word = Words[(r % 16) * (r % 16) / 16];
            out.insert(out.end(), word, word + std::strlen(word));
            if (r % 97 == 0) out.push_back(static_cast<uint8_t>(rng()));
        } else if (r % 3 == 0) {
            out.insert(out.end(), 1 + rng() % 3000, static_cast<uint8_t>(rng()));
        } else if (r % 3 == 1) {
            const uint8_t a = static_cast<uint8_t>(rng()), b = static_cast<uint8_t>(rng());
            for (uint32_t k = rng() % 700; k > 0; --k) out.push_back(k & 1 ? a : b);
        } else {
            for (uint32_t k = rng() % 50; k > 0; --k) out.push_back(static_cast<uint8_t>(rng()));
        }
    }
    out.resize(n);
    return out;
}

void ExpectRoundTrip(const Bytes& data, int dictionaryBits, EncodeLevel level, const char* what) {
    EncodeSettings settings;
    settings.dictionaryBits = dictionaryBits;
    settings.level = level;
    const MethodId method = dictionaryBits == 13 ? MethodLh5 : dictionaryBits == 15 ? MethodLh6 : MethodLh7;
    auto decoded = packed_member::DecodeWhole(method, EncodeBuffer(settings, data.data(), data.size()), data.size());
    EXPECT_TRUE(decoded.bytes == data) << what << ", dictionary bits " << dictionaryBits << ", level "
                                       << static_cast<int>(level);
    EXPECT_EQ(decoded.crc, UpdateCrc16(0, data.data(), data.size())) << what;
}

const EncodeLevel Levels[] = {EncodeLevel::Fast, EncodeLevel::Default, EncodeLevel::Best};

TEST(PackEncoder, RoundTripsThroughOurDecoderForEveryMethodAndLevel) {
    Bytes tail = Data(1, 50000, 12);
    tail.insert(tail.end(), tail.begin() + 1000, tail.begin() + 1300);
    const struct {
        const char* what;
        Bytes data;
    } cases[] = {
        {"one byte", Bytes{'x'}},
        {"two bytes", Bytes{'a', 'b'}},
        {"one byte repeated", Bytes(70000, 0)},
        {"random", Data(0, 70000, 1)},
        {"text", Data(1, 140000, 2)},
        {"runs", Data(2, 140000, 3)},
        {"exactly one -lh5- window", Data(1, 8192, 4)},
        {"exactly one -lh7- window", Data(2, 65536, 5)},
        {"ends inside a long repeat", tail},
    };
    for (const auto& c : cases)
        for (int bits : {13, 15, 16})
            for (EncodeLevel level : Levels) ExpectRoundTrip(c.data, bits, level, c.what);
    // Several times the encoder's buffer, with a block repeated at the far edge of each
    // window so that matches reach as far back as the format allows.
    Bytes data = Data(1, 1 << 19, 6);
    Bytes noise = Data(0, 3 << 19, 7);
    data.insert(data.end(), noise.begin(), noise.end());
    for (size_t at = 70000; at + 4000 < data.size(); at += 150000)
        std::copy_n(data.begin() + static_cast<long>(at - 65535), 300, data.begin() + static_cast<long>(at));
    for (int bits : {13, 15, 16}) ExpectRoundTrip(data, bits, EncodeLevel::Default, "2 MiB mixed");
    ExpectRoundTrip(data, 16, EncodeLevel::Fast, "2 MiB mixed");
}

// The input in random pieces gives what the whole buffer gives; a failed read or write
// is reported.
TEST(PackEncoder, StreamsAlikeAndReportsFailedReadsAndWrites) {
    const Bytes data = Data(1, 600000, 8);
    const EncodeSettings settings;
    std::mt19937 rng(9);
    size_t at = 0;
    auto read = [&](uint8_t* buffer, size_t n) {
        const size_t take = std::min({n, data.size() - at, size_t(1 + rng() % 5000)});
        std::memcpy(buffer, data.data() + at, take);
        at += take;
        return static_cast<int64_t>(take);
    };
    Bytes trickled;
    EncodeResult result = EncodeStream(settings, read, [&](const uint8_t* bytes, size_t n) {
        trickled.insert(trickled.end(), bytes, bytes + n);
        return true;
    });
    const Bytes whole = EncodeBuffer(settings, data.data(), data.size());
    EXPECT_TRUE(trickled == whole);
    EXPECT_EQ(result.originalSize, data.size());
    EXPECT_EQ(result.packedSize, whole.size());
    EXPECT_EQ(result.crc, UpdateCrc16(0, data.data(), data.size()));

    auto accept = [](const uint8_t*, size_t) { return true; };
    EXPECT_TRUE(EncodeStream(settings, [](uint8_t*, size_t) { return int64_t(-1); }, accept).readFailed);
    at = 0;
    EXPECT_TRUE(EncodeStream(settings, read, [](const uint8_t*, size_t) { return false; }).writeFailed);
}

TEST(PackEncoder, SmallerThanTheStoredFormOnCompressibleData) {
    // The second input changes character every few hundred kilobytes, so the default
    // level's search depth, chosen from the stretch before, is often a poor guess.
    Bytes mixed;
    for (uint32_t seed = 0; seed < 4; ++seed) {
        Bytes piece = Data(seed % 2 ? 2 : 1, 300000, 20 + seed);
        mixed.insert(mixed.end(), piece.begin(), piece.end());
    }
    for (const Bytes& data : {Data(1, 100000, 11), mixed}) {
        EncodeSettings settings;
        size_t previous = data.size();
        for (EncodeLevel level : Levels) {
            settings.level = level;
            size_t packed = EncodeBuffer(settings, data.data(), data.size()).size();
            EXPECT_LT(packed, data.size() / 3);
            EXPECT_LE(packed, previous + previous / 100) << "a stronger level came out clearly larger";
            previous = packed;
        }
    }
}

uint64_t KraftSum(const uint8_t* lengths, int count) {
    uint64_t sum = 0;
    for (int s = 0; s < count; ++s)
        if (lengths[s]) sum += uint64_t(1) << (16 - lengths[s]);
    return sum;
}

TEST(PackHuffman, LengthsStayWithinTheLimitAndFormCompleteCodes) {
    // Fibonacci frequencies make the unlimited Huffman code as deep as there are symbols.
    uint32_t freqs[CharCodeCount] = {};
    for (uint32_t s = 0, a = 1, b = 1; s < 40; ++s, b = std::min<uint32_t>(a + b, 1u << 30), a = b - a) freqs[s * 7] = a;
    uint8_t lengths[CharCodeCount];
    EXPECT_EQ(BuildCodeLengths(freqs, CharCodeCount, 16, lengths), 40);
    EXPECT_EQ(*std::max_element(lengths, lengths + CharCodeCount), 16);
    EXPECT_EQ(KraftSum(lengths, CharCodeCount), uint64_t(1) << 16);
    for (int s = 0; s < CharCodeCount; ++s) EXPECT_EQ(lengths[s] != 0, freqs[s] != 0) << "symbol " << s;

    uint32_t two[4] = {0, 5, 0, 1};
    EXPECT_EQ(BuildCodeLengths(two, 4, 16, lengths), 2);
    EXPECT_EQ(lengths[1] + lengths[3], 2);
    uint32_t one[4] = {0, 0, 9, 0};
    EXPECT_EQ(BuildCodeLengths(one, 4, 16, lengths), 1);
    EXPECT_EQ(KraftSum(lengths, 4), 0u);
}

TEST(PackBlocks, SingleSymbolCodesLongRunsOfUnusedLengthsAndCutBlocksDecode) {
    // Blocks whose char code has one symbol, whose position code has one symbol or none,
    // and whose char lengths hold zero runs of every coded size (1, 2, 3-18, 19, 20+).
    std::vector<LzSymbol> sparse;
    for (int code : {0, 2, 5, 9, 28, 29, 50, 71, 255}) sparse.push_back(Literal(static_cast<uint8_t>(code)));
    sparse.push_back(Match(3, 1));
    sparse.push_back(Match(256, 5));
    const std::vector<LzSymbol> blocks[] = {std::vector<LzSymbol>(1000, Literal('A')),
                                            std::vector<LzSymbol>(300, Match(10, 1)), sparse};
    const MethodShape shape = ShapeForDictionary(16);
    BitSink sink;
    Bytes expected;
    for (const auto& block : blocks) {
        BitSink alone;
        WriteBlock(alone, block.data(), block.size(), shape);
        EXPECT_EQ(BlockBits(block.data(), block.size(), shape), alone.BitCount()) << "the estimate is what is written";
        WriteBlock(sink, block.data(), block.size(), shape);
        for (const LzSymbol& symbol : block) {
            if (symbol.code < 256) expected.push_back(static_cast<uint8_t>(symbol.code));
            else for (int k = 0; k < symbol.code - MatchCodeBase; ++k)
                expected.push_back(expected.size() > symbol.position ? expected[expected.size() - symbol.position - 1] : ' ');
        }
    }
    // Then runs of four letters, four others from `change` on: cut there (within a piece),
    // never into a block that passes its 16-bit count (the decode would go wrong).
    for (const auto& [count, change, split] : {std::tuple{60000u, 30000u, true}, {131071u, 131071u, false},
                                               {65536u, 65536u, true}, {140000u, 70000u, true}}) {
        std::vector<LzSymbol> symbols(count);
        for (size_t i = 0; i < count; ++i) symbols[i] = Literal(static_cast<uint8_t>((i < change ? 'a' : 'w') + i % 4));
        std::vector<size_t> sizes;
        CutBlocks(symbols.data(), count, shape, split, 1024, sizes);
        size_t at = 0, nearestCut = count;
        for (size_t size : sizes) {
            WriteBlock(sink, symbols.data() + at, size, shape);
            at += size;
            nearestCut = std::min(nearestCut, at > change ? at - change : change - at);
        }
        EXPECT_TRUE(change == count || nearestCut < 1024) << "no cut near " << change;
        for (const LzSymbol& symbol : symbols) expected.push_back(static_cast<uint8_t>(symbol.code));
    }
    sink.Flush();
    EXPECT_TRUE(packed_member::DecodeWhole(MethodLh7, sink.Bytes(), expected.size()).bytes == expected);
}

}  // namespace
