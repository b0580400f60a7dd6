// Every method against golden packed streams: whole members through every window loop,
// hand-made codes one operation at a time, adaptive codes longer than the look-ahead;
// and the driver around the decoders: abort, progress, failed writes and stored members
// of any size.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

#include <string>
#include <vector>

#include "decode/adaptive_tree.h"
#include "decode/progress.h"
#include "support/bit_writer.h"
#include "support/packed_member.h"

namespace {

using packed_member::Bytes;
using packed_member::CrcOf;
using packed_member::DecodeWhole;
using packed_member::Input;

// The window loops that must write alike: the host tool's wide loop, into a file and in
// place into memory (as the second thread decodes), the stub's small fast loop, and the
// plain per-symbol driver.
enum class Loop { Wide, Small, Plain, WideIntoMemory };
constexpr Loop Loops[] = {Loop::Wide, Loop::Small, Loop::Plain, Loop::WideIntoMemory};
const char* NameOf(Loop loop) {
    const char* const names[] = {"wide", "small", "plain", "wide into memory"};
    return names[static_cast<int>(loop)];
}
void UseLoop(Loop loop) {
    UseFastLoops(loop != Loop::Plain);
    UseSmallLoop(loop == Loop::Small);
}
packed_member::Output OutputOf(Loop loop) {
    return loop == Loop::WideIntoMemory ? packed_member::Output::Memory : packed_member::Output::File;
}

// Captures the percentages sent to the progress bar; may clear keepRunning on the first.
struct ProgressLog {
    std::vector<uint32_t> sent;
    bool abortOnFirst = false;
    ProgressLog(uint64_t total, uint64_t base = 0, uint32_t last = 0) {
        ConnectProgress(
            [](void* context, uint32_t percent) {
                auto* log = static_cast<ProgressLog*>(context);
                log->sent.push_back(percent);
                if (log->abortOnFirst) keepRunning.store(0);
            },
            this);
        decodeState.progressTotal = total;
        decodeState.progressBase = base;
        decodeState.lastPercent = last;
    }
    ~ProgressLog() {
        ConnectProgress(nullptr, nullptr);
        decodeState.progressTotal = decodeState.progressBase = decodeState.lastPercent = 0;
        keepRunning.store(1);
        UseLoop(Loop::Wide);
    }
};

// A member's packed bytes (see packed_member::Input), its original size and the CRC-16
// of what it decodes to, which every window loop must write alike; or hand-made codes
// decoded one operation at a time from the method's start on (see ExpectScript).
struct Golden {
    const char* what;
    MethodId method;
    const char* input;
    uint64_t size;
    uint16_t crc;
    const char* script = nullptr;
};
const Golden Members[] = {
    {"fresh -lh1- tree: symbol 0 is 110001100", MethodLh1, "c65280", 0, 0, "c0 b165"},
    {"fresh -lh1- tree: the longest match, 11000101, has no extra bits", MethodLh1, "c5ff", 0, 0, "c313 b255"},
    {"fresh -lh2- tree: symbol 0 is 111000100", MethodLh2, "e25280", 0, 0, "c0 b165"},
    {"-lh2- escape: 11100001 and eight bits, a match of 287 bytes", MethodLh2, "e1ff3c", 0, 0, "c540 b60"},
    {"the first -lh2- position is group 0: only the six raw bits are read", MethodLh2, "b70c", 0, 0, "n3 p45 b195"},
    {"-lh3- lengths 1, 1, 1 announce a constant: 9 bits of symbol, then the position choice bit", MethodLh3,
     "00028420415280", 0, 0, "c65 b165"},
    {"-lh3- blocks of 1, 1 and 0 (65536) codes", MethodLh3, "00018420410000c210210000210810c0", 0, 0, "c65 c66 c67 c67 c67"},
    // Group 0 is 00, group 78 the first and group 127 the last nine-bit code, past the
    // 8-bit table in the overflow tree.
    {"-lh3- the fixed position code", MethodLh3, "000a84210008a03ce8bfffad00", 0, 0, "c256 p17 p65 p5026 p8191 b90"},
    {"-lh3- explicit position lengths: groups 2 and 5 of one bit", MethodLh3, "lh3-explicit-position-lengths.bin", 0, 0,
     "c256 p327 p191 b225"},
    {"-lh3- the escape (code 285) takes eight more bits", MethodLh3, "lh3-escape.bin", 0, 0, "c97 c285 p0"},
    {"-lh3- the escape's largest code, a match of 287 bytes", MethodLh3, "lh3-escape-most.bin", 0, 0, "c540"},
    {"-lh3- codes of 1 to 14 bits, past the table", MethodLh3, "lh3-codes-of-1-to-14-bits.bin", 0, 0, "c14 c13 c2 b195"},
    {"-lh3- constants beyond the alphabets (9 bits reach 511, 10 bits 1023) read as 0", MethodLh3,
     "00048421ff888fff54b0", 0, 0, "c0 p42 b150"},
    {"-lh3- over-full literal/length and position codes read as 0", MethodLh3, "lh3-overfull-codes.bin", 0, 0,
     "c0 p0 c0 p0 c0 p0 c0 p0"},
    // Pre-tree of the one symbol 4 (length 2): four char lengths of 2 read no bits.
    {"-lh5- a pre-tree of one symbol costs no bits", MethodLh5, "0005010080193c", 0, 0, "c3 c0 c2 c1 c3 b128"},
    {"-lh5- a char code of one symbol costs no bits; the fourth reads a header", MethodLh5, "000300c004100a", 0, 0,
     "c65 c65 c65 c0"},
    {"-lh5- a pre-tree symbol outside its alphabet reads as 0", MethodLh5, "00040640201fffe0", 0, 0, "c0 c0"},
    {"-lh5- a char symbol outside its alphabet reads as 0", MethodLh5, "000400c01ff00ffff0", 0, 0, "c0 c0"},
    {"-lh5- block size 0 stands for 65536 codes", MethodLh5, "000000c004100000100c004200", 65537, 0x75e0},
    {"-lh5- matches overlap themselves and reach back into the initial spaces", MethodLh5,
     "lh5-overlapping-matches.bin", 22, 0x9d04},
    {"-lh5- a last match past the member's end stops at its size", MethodLh5, "lh5-match-past-the-end.bin", 5, 0x911a},
    {"-lh6- original size 0 writes nothing", MethodLh6, "lh5-match-past-the-end.bin", 0, 0},
    {"-lh4- distances 4097, 4099, 8192 fold into the window", MethodLh4, "000820043300b66cc342001002fffc04c0", 204, 0x5577},
    {"-lh4- member one byte short of the window", MethodLh4, "lh4-literals-4095.bin", 4095, 0x4e5f},
    {"-lh4- member one byte past the window", MethodLh4, "lh4-literals-4097.bin", 4097, 0x94fb},
    {"-lh4- member of three windows", MethodLh4, "lh4-literals-12288.bin", 12288, 0xf91b},
    {"-lh4- two blocks, the first of one code", MethodLh4, "lh4-blocks-1.bin", 93656, 0x0247},
    {"-lh4- four blocks of deep codes", MethodLh4, "lh4-blocks-3.bin", 483329, 0x0f2d},
    {"-lh5- two blocks, the first of one code", MethodLh5, "lh5-blocks-1.bin", 123963, 0x0649},
    {"-lh5- four blocks of deep codes", MethodLh5, "lh5-blocks-3.bin", 588867, 0x695f},
    {"-lh6- two blocks, the first of one code", MethodLh6, "lh6-blocks-1.bin", 150167, 0x0d5a},
    {"-lh6- four blocks of deep codes", MethodLh6, "lh6-blocks-3.bin", 586546, 0xae18},
    {"-lh7- two blocks, the first of one code", MethodLh7, "lh7-blocks-1.bin", 99632, 0xc9bf},
    {"-lh7- four blocks of deep codes", MethodLh7, "lh7-blocks-3.bin", 606536, 0x77d7},
    {"-lh1- words and noise: long matches, window wraps, tree rebuilds", MethodLh1, "lh1-words-and-noise.bin", 190007,
     0x2776},
    {"-lh1- random bytes", MethodLh1, "random:4", 150000, 0xd35f},
    {"-lh2- random bytes", MethodLh2, "random:5", 150000, 0xcafa},
    {"-lh2- random bytes through both trees' rebuilds", MethodLh2, "random:6", 1500000, 0xad06},
    {"-lzs- random bytes", MethodLzs, "random:1", 150000, 0xfa54},
    {"-lz5- random bytes", MethodLz5, "random:2", 150000, 0x437e},
    {"-lzs- a match of two from the second byte produced, over itself", MethodLzs, "bc5e5fc000", 4, 0x0b2b},
    {"-lzs- a match from window index 0, the first byte produced", MethodLzs, "b8dc9fbfc0", 19, 0x8f91},
    {"-lzs- a match where nothing was written yet gives spaces", MethodLzs, "06439080", 6, 0x7555},
    {"-lz5- the initial window: runs start with 0x00", MethodLz5, "000000", 3, 0},
    {"-lz5- the initial window: the run of 0x41", MethodLz5, "005732", 5, 0xb6c8},
    {"-lz5- the initial window: the rising values", MethodLz5, "0000df", 18, 0x628b},
    {"-lz5- the initial window: the falling values", MethodLz5, "0000e1", 4, 0x3511},
    {"-lz5- the initial window: the zeros, then the spaces", MethodLz5, "007ef1", 4, 0x1818},
    // LArc's archives depend on it (larc333_initial.lzs starts by copying them).
    {"-lz5- addresses 4078-4095 hold 0x00 until written", MethodLz5, "00eeff", 18, 0},
    {"-lz5- address 4078 is the first byte produced", MethodLz5, "07616263eef2", 8, 0xa677},
    {"-lz5- every eighth item is followed by a flag byte", MethodLz5, "ff6162636465666768feeef07a", 12, 0x775f},
};

TEST(DecodeMember, GoldenStreamsDecodeAlikeInEveryLoop) {
    for (const Golden& row : Members) {
        SCOPED_TRACE(row.what);
        if (row.script) {
            packed_member::ExpectScript(row.method, row.input, row.script);
            continue;
        }
        const Bytes packed = Input(row.input, row.size);
        for (Loop loop : Loops) {
            UseLoop(loop);
            auto decoded = DecodeWhole(row.method, packed, row.size, nullptr, UINT64_MAX, OutputOf(loop));
            EXPECT_EQ(decoded.bytes.size(), row.size) << NameOf(loop);
            EXPECT_EQ(decoded.crc, row.crc) << NameOf(loop);
            EXPECT_EQ(CrcOf(decoded.bytes), row.crc) << NameOf(loop);
        }
    }
    UseLoop(Loop::Wide);
}

// -lh1- and -lh2-: codes longer than the 16-bit look-ahead.
// The code of a leaf in the current tree, first bit first (0 takes treeChild, 1 the slot below).
std::string CodeOf(uint32_t symbol) {
    std::string bits;
    for (int32_t slot = decodeState.leafOfSymbol[symbol]; slot != CharRootSlot;) {
        const int32_t parent = decodeState.treeParent[slot];
        bits.insert(bits.begin(), slot == decodeState.treeChild[parent] ? '0' : '1');
        slot = parent;
    }
    return bits;
}

TEST(AdaptiveHuffman, CodesLongerThanTheLookAheadDecode) {
    {
        packed_member::LoadedStream empty(packed_member::Bytes{}, UINT32_MAX, UINT32_MAX, false);
        StartLh1(empty.Input());
    }
    // Fibonacci-like weights stack the rarely seen symbols deep below a chain of heavy ones.
    const uint32_t chain[] = {330, 330, 660, 990, 1650, 2640, 4290, 6930, 11220};
    for (uint32_t i = 0; i < 9; ++i)
        for (uint32_t k = 0; k < chain[i]; ++k) UpdateCharTree(300 + i);
    ASSERT_LT(decodeState.treeWeight[CharRootSlot], 32768);
    uint32_t deepest = 0;
    for (uint32_t symbol = 0; symbol < 314; ++symbol)
        if (CodeOf(symbol).size() > CodeOf(deepest).size()) deepest = symbol;
    const std::string code = CodeOf(deepest);
    ASSERT_GT(code.size(), 16u);
    packed_member::LoadedStream stream(BitWriter().Put(code.c_str()).PutByte(0x96).Bytes());
    EXPECT_EQ(DecodeCharAdaptive(), deepest);
    EXPECT_EQ(GetBits(8), 0x96);
}

// The fast loops must send the percentages the plain loop sends, one report per symbol;
// an abort stops without the final write; a failed write stops within the first window.
TEST(DecodeMember, ProgressAbortAndFailedWriteInEveryLoop) {
    const Bytes packed = Input("lh5-blocks-3.bin");
    std::vector<uint32_t> sent[4];
    for (Loop loop : Loops) {
        ProgressLog log(588867 + 123457, 5000, 7);
        UseLoop(loop);
        DecodeWhole(MethodLh5, packed, 588867, nullptr, UINT64_MAX, OutputOf(loop));
        sent[static_cast<int>(loop)] = log.sent;
    }
    for (Loop loop : Loops) EXPECT_EQ(sent[static_cast<int>(loop)], sent[2]) << NameOf(loop);
    EXPECT_GT(sent[2].size(), 50u);
    for (Loop loop : Loops) {
        SCOPED_TRACE(NameOf(loop));
        ProgressLog log(588867);
        UseLoop(loop);
        if (loop != Loop::WideIntoMemory) {
            auto full = DecodeWhole(MethodLh5, packed, 588867, u"/dev/full");
            EXPECT_EQ(full.failure, DecodeFailure::WriteFailed);
            ASSERT_FALSE(log.sent.empty());
            EXPECT_LE(log.sent.back(), 2u) << "nothing decoded after the first window failed";
        }
        keepRunning.store(0);
        EXPECT_TRUE(DecodeWhole(MethodLh5, packed, 588867, nullptr, UINT64_MAX, OutputOf(loop)).bytes.empty());
    }
}

TEST(ReportProgress, TotalsAroundOneThousand) {
    const struct {
        uint64_t total;
        std::vector<uint64_t> reports;
        std::vector<uint32_t> sent;
    } rows[] = {
        {200, {1, 2}, {1}},
        {1000, {15}, {1}},  // multiply first: 15 * 100 / 1000
        {1001, {15}, {1}},  // divide first: 15 / 10
        {1099, {1099}, {109}},  // ends above 100
        {0, {5}, {}},
    };
    for (const auto& row : rows) {
        ProgressLog log(row.total);
        for (uint64_t done : row.reports) ReportProgress(done);
        EXPECT_EQ(log.sent, row.sent) << row.total;
    }
}

// Chunks as large as the input buffer, with their CRC and one percentage each; never a
// byte of the next member; stored data shorter or longer than its member is damaged (read
// no further).
TEST(StoredCopy, CopiesInChunksWithTheirCrc) {
    constexpr uint32_t Chunk = InputBufferCapacity;
    for (uint32_t size : {0u, 1u, Chunk, Chunk + 1, 2 * Chunk + 5}) {
        SCOPED_TRACE(size);
        ProgressLog log(100);  // percent = bytes done
        Bytes data(size + 10, 0xEE);
        for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 13);
        auto copied = DecodeWhole(MethodLz4, data, size, nullptr, size);
        data.resize(size);
        EXPECT_EQ(copied.bytes, data);
        EXPECT_EQ(copied.crc, CrcOf(data));
        EXPECT_FALSE(PackedDataRanOut());
        std::vector<uint32_t> chunks;
        for (uint32_t done = Chunk; done < size + Chunk; done += Chunk) chunks.push_back(done < size ? done : size);
        EXPECT_EQ(log.sent, chunks);
    }
    for (uint64_t packedSize : {3000u, 5000u}) {
        auto damaged = DecodeWhole(MethodLh0, Bytes(5000, 'q'), 4000, nullptr, packedSize);
        EXPECT_EQ(damaged.bytes, Bytes(packedSize == 3000 ? 3000 : 4000, 'q'));
        EXPECT_TRUE(PackedDataRanOut()) << packedSize;
    }
    EXPECT_EQ(DecodeWhole(MethodLh0, Bytes(5000, 'q'), 5000, u"/dev/full").failure, DecodeFailure::WriteFailed);
    EXPECT_EQ(decodeState.failureCode, static_cast<uint32_t>(ENOSPC));  // for the system's text
    ProgressLog log(100);
    log.abortOnFirst = true;
    EXPECT_EQ(DecodeWhole(MethodLh0, Bytes(Chunk + 5, 'q'), Chunk + 5).bytes, Bytes(Chunk, 'q'));
}

TEST(Crc16, PublishedCheckValue) { EXPECT_EQ(CrcOf(Input("313233343536373839")), 0xBB3D); }  // "123456789"

// Long blocks take other ways than short ones (carry-less folding, slicing); every length
// and start, in one piece or two, gives the CRC of the bits one at a time.
TEST(Crc16, EveryLengthAndSplitAgreesWithTheBitwiseCrc) {
    Bytes data(70000);
    uint32_t seed = 1;
    for (uint8_t& byte : data) byte = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    auto bitwise = [&](size_t from, size_t to) {
        uint16_t crc = 0;
        for (size_t i = from; i < to; ++i) {
            crc ^= data[i];
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        return crc;
    };
    MakeCrcTable();
    for (size_t length : {0, 1, 15, 16, 63, 64, 65, 127, 128, 200, 4097, 70000 - 3}) {
        for (size_t start : {0, 1, 3}) {
            if (start + length > data.size()) continue;
            for (size_t split : {size_t{0}, length / 3, length}) {
                decodeState.crc = 0;
                UpdateCrc(data.data() + start, static_cast<uint32_t>(split));
                UpdateCrc(data.data() + start + split, static_cast<uint32_t>(length - split));
                EXPECT_EQ(decodeState.crc, bitwise(start, start + length)) << length << " from " << start;
            }
        }
    }
}

// Sizes are unsigned: a stored member of 2 GiB and more is copied, not skipped. The copy
// is aborted after its first chunk to keep the test short.
TEST(StoredCopy, MembersOfTwoGibibytesAndMore) {
    packed_member::ScratchFile sparse;
    const std::u16string wide = sparse.Wide();
    ASSERT_EQ(truncate(std::string(wide.begin(), wide.end()).c_str(), 0x80000005LL), 0);
    FileHandle input;
    ASSERT_TRUE(input.Open(wide.c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    MakeCrcTable();
    ProgressLog log(100);
    log.abortOnFirst = true;
    packed_member::ScratchFile output;
    {
        FileHandle out;
        ASSERT_TRUE(out.Open(output.Wide().c_str(), FileAccess::Write, FileDisposition::CreateAlways));
        EXPECT_EQ(DecodeMember(input, &out, 0x80000005u, 0x80000005u, MethodLh0), 0);  // zeros have CRC 0
    }
    EXPECT_EQ(output.Contents(), Bytes(InputBufferCapacity, 0));
}

}  // namespace
