// The window driver and the stored copy: matches against the window, member sizes at the
// edges, abort, progress messages, failed writes and stored members of 2 GiB and more.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <vector>

#include "archive/extractor.h"
#include "decode/decode_state.h"
#include "decode/progress.h"
#include "platform/posix/console_front_end.h"
#include "support/bit_writer.h"
#include "support/packed_member.h"
#include "support/static_block_writer.h"

namespace {

using packed_member::Bytes;
using packed_member::CrcOf;
using packed_member::DecodeWhole;
using static_stream::Item;

// Captures the percentages sent to the progress bar; may clear keepRunning on the first.
struct ProgressLog {
    std::vector<uint32_t> sent;
    bool abortOnFirst = false;
    ProgressLog(uint32_t total, uint32_t base = 0, uint32_t last = 0) {
        ConnectProgress(
            [](void* context, uint32_t percent) {
                auto* log = static_cast<ProgressLog*>(context);
                log->sent.push_back(percent);
                if (log->abortOnFirst) decodeState.keepRunning.store(0);
            },
            this);
        decodeState.progressTotal = total;
        decodeState.progressBase = base;
        decodeState.lastPercent = last;
    }
    ~ProgressLog() {
        ConnectProgress(nullptr, nullptr);
        decodeState.progressTotal = decodeState.progressBase = decodeState.lastPercent = 0;
        decodeState.keepRunning.store(1);
    }
};

// A -lh5- member made of `items` in one block of random complete codes.
Bytes Lh5Member(const std::vector<Item>& items, uint32_t seed = 1) {
    std::mt19937 random(seed);
    BitWriter out;
    static_stream::PutBlock(out, static_stream::RandomCodes(14, random, 0.0), 4, items);
    return out.Bytes();
}

std::vector<Item> RandomItems(size_t count, uint32_t window, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Item> items;
    for (size_t i = 0; i < count; ++i) {
        if (random() % 2) items.push_back(Item::Literal(static_cast<uint8_t>(random())));
        else items.push_back(Item::Match(3 + random() % 254, 1 + random() % window));
    }
    return items;
}

// Both window loops, the fast one for the static methods and the plain one.
class BothLoops : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { UseFastLoops(GetParam()); }
    void TearDown() override { UseFastLoops(true); }
};
INSTANTIATE_TEST_SUITE_P(Decode, BothLoops, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Fast" : "Plain"; });

TEST_P(BothLoops, MatchesOverlapAndReachBackIntoSpaces) {
    const std::vector<Item> items = {Item::Match(5, 100), Item::Literal('a'), Item::Match(10, 1),
                                     Item::Literal('b'), Item::Match(6, 2)};
    const std::string expected = "     " + std::string(11, 'a') + "bababab";
    auto decoded = DecodeWhole(MethodLh5, Lh5Member(items), static_cast<uint32_t>(expected.size()));
    EXPECT_EQ(std::string(decoded.bytes.begin(), decoded.bytes.end()), expected);
}

TEST_P(BothLoops, MemberSizesAtTheWindowEdges) {
    for (uint32_t size : {4095u, 4096u, 4097u, 3 * 4096u}) {
        SCOPED_TRACE(size);
        std::vector<Item> items;
        for (uint32_t i = 0; i < size; ++i) items.push_back(Item::Literal(static_cast<uint8_t>(i * 7)));
        Bytes expected = static_stream::Expand(items);
        auto decoded = DecodeWhole(MethodLh4, Lh5Member(items), size);
        EXPECT_EQ(decoded.bytes, expected);
        EXPECT_EQ(decoded.crc, CrcOf(expected));
    }
    // A (damaged) last match that runs past the original size ends at that size.
    auto over = DecodeWhole(MethodLh5, Lh5Member({Item::Literal('x'), Item::Match(20, 1)}), 5);
    EXPECT_EQ(over.bytes, Bytes(5, 'x'));
}

TEST_P(BothLoops, OriginalSizeZeroWritesNothing) {
    auto decoded = DecodeWhole(MethodLh6, Lh5Member({Item::Literal('x')}), 0);
    EXPECT_TRUE(decoded.bytes.empty());
    EXPECT_EQ(decoded.crc, 0);
}

TEST_P(BothLoops, AbortStopsWithoutTheFinalWrite) {
    ProgressLog log(0);
    decodeState.keepRunning.store(0);
    auto decoded = DecodeWhole(MethodLh5, Lh5Member(RandomItems(100, 8192, 3)), 5000);
    EXPECT_TRUE(decoded.bytes.empty());
}

// Whatever the loop, the same percentages go out as from one report per symbol.
TEST_P(BothLoops, ProgressPercentages) {
    const std::vector<Item> items = RandomItems(3000, 8192, 4);
    const Bytes expected = static_stream::Expand(items);
    const uint32_t size = static_cast<uint32_t>(expected.size());
    std::vector<uint32_t> reference;
    {
        // One report per symbol, computed here from the symbol boundaries.
        ProgressLog log(size + 123457, 5000, 7);
        uint32_t done = 0;
        for (const Item& item : items) {
            done += item.length ? item.length : 1;
            ReportProgress(done);
        }
        reference = log.sent;
    }
    ProgressLog log(size + 123457, 5000, 7);
    DecodeWhole(MethodLh5, Lh5Member(items), size);
    EXPECT_EQ(log.sent, reference);
    EXPECT_GT(log.sent.size(), 2u);
}

TEST_P(BothLoops, FailedWriteStopsTheMember) {
    ProgressLog log(40000);
    std::vector<Item> items(40000, Item::Literal('z'));
    auto decoded = DecodeWhole(MethodLh5, Lh5Member(items), 40000, u"/dev/full");
    EXPECT_EQ(decoded.failure, DecodeFailure::WriteFailed);
    ASSERT_FALSE(log.sent.empty());
    EXPECT_LE(log.sent.back(), 21u) << "nothing decoded after the first window failed";
}

TEST(ReportProgress, TotalsAroundOneThousand) {
    {
        ProgressLog log(200);
        ReportProgress(1);
        ReportProgress(2);
        EXPECT_EQ(log.sent, std::vector<uint32_t>{1});
    }
    {
        ProgressLog log(1000);  // multiply first: 15 * 100 / 1000
        ReportProgress(15);
        ProgressLog other(1001);  // divide first: 15 / 10
        ReportProgress(15);
        EXPECT_EQ(log.sent, std::vector<uint32_t>{1});
        EXPECT_EQ(other.sent, std::vector<uint32_t>{1});
    }
    {
        ProgressLog log(1099);  // ends above 100
        ReportProgress(1099);
        EXPECT_EQ(log.sent, std::vector<uint32_t>{109});
    }
    ProgressLog none(0);
    ReportProgress(5);
    EXPECT_TRUE(none.sent.empty());
}

TEST(StoredCopy, CopiesInChunksWithTheirCrc) {
    for (uint32_t size : {0u, 1u, 2048u, 2049u, 5000u}) {
        SCOPED_TRACE(size);
        ProgressLog log(100);  // percent = bytes done, one value per chunk
        Bytes data(size);
        for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 13);
        data.resize(size + 10, 0xEE);  // the next member's bytes are not taken
        auto copied = DecodeWhole(MethodLz4, data, size);
        data.resize(size);
        EXPECT_EQ(copied.bytes, data);
        EXPECT_EQ(copied.crc, CrcOf(data));
        std::vector<uint32_t> chunks;
        for (uint32_t done = 2048; done < size + 2048; done += 2048) chunks.push_back(done < size ? done : size);
        EXPECT_EQ(log.sent, chunks);
    }
    // Stored data shorter than its member: read no further than the packed data, damaged.
    auto cut = DecodeWhole(MethodLh0, Bytes(3000, 'q'), 4000);
    EXPECT_EQ(cut.bytes, Bytes(3000, 'q'));
    EXPECT_TRUE(PackedDataRanOut());
}

TEST(StoredCopy, FailedWriteAndAbort) {
    auto full = DecodeWhole(MethodLh0, Bytes(5000, 'q'), 5000, u"/dev/full");
    EXPECT_EQ(full.failure, DecodeFailure::WriteFailed);

    ProgressLog log(100);
    log.abortOnFirst = true;
    auto aborted = DecodeWhole(MethodLh0, Bytes(5000, 'q'), 5000);
    EXPECT_EQ(aborted.bytes, Bytes(2048, 'q'));
}

// Sizes are unsigned: a stored member of 2 GiB and more is copied, not skipped. The copy
// is aborted after its first chunk to keep the test short.
TEST(StoredCopy, MembersOfTwoGibibytesAndMore) {
    packed_member::ScratchFile sparse;
    std::u16string wide = sparse.Wide();
    std::string path(wide.begin(), wide.end());
    ASSERT_EQ(truncate(path.c_str(), 0x80000005LL), 0);
    MakeCrcTable();
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    ASSERT_TRUE(extractor.packageFile->Open(wide.c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    packed_member::ScratchFile output;
    FileHandle out;
    ASSERT_TRUE(out.Open(output.Wide().c_str(), FileAccess::Write, FileDisposition::CreateAlways));
    ProgressLog log(100);
    log.abortOnFirst = true;
    uint32_t crc = DecodeMember(*extractor.packageFile, &out, 0x80000005u, 0x80000005u, MethodLh0);
    out.Close();
    EXPECT_EQ(output.Contents(), Bytes(2048, 0));
    EXPECT_EQ(crc, CrcOf(Bytes(2048, 0)));
}

TEST(DecodeMember, UsesTheMethodsMatchLengths) {
    // -lzs-: a literal, then a match of code 256 (two bytes) from the first output byte.
    BitWriter lzs;
    lzs.Put("1").PutByte('x').Put("0").Put(2031, 11).Put(0, 4);
    auto decoded = DecodeWhole(MethodLzs, lzs.Bytes(), 3);
    EXPECT_EQ(decoded.bytes, Bytes(3, 'x'));
}

}  // namespace
