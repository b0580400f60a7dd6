// Decoding ahead: the headers a second thread reads and the members it decodes come out as
// the worker's own reading and decoding give them, in the archive's order, whatever the
// worker passes over; and a whole run with more members than the thread may hold at once
// extracts every one of them and stamps every folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/decode_ahead.h"
#include "archive/extraction_worker.h"
#include "archive/extractor.h"
#include "decode/bit_input.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "support/archive_builder.h"
#include "support/file_bytes.h"
#include "tools/pack/lzh_encoder.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    std::u16string path;
    uint64_t dataStart = 0;
    bool headerAhead = false;
    bool ahead = false;
    uint32_t crc = 0;
    std::string bytes;
    DecodeFailure failure = DecodeFailure::None;
    bool ranOut = false;
};

Outcome Collect(FileHandle& sink, uint32_t crc, bool ahead) {
    Outcome outcome;
    outcome.ahead = ahead;
    outcome.crc = crc;
    uint64_t count = 0;
    uint8_t* data = sink.TakeWritten(count);
    outcome.bytes.assign(reinterpret_cast<char*>(data), count);
    delete[] data;
    outcome.failure = decodeState.failure;
    outcome.ranOut = PackedDataRanOut();
    return outcome;
}

class DecodeAhead : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("kavisfx-ahead-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        MakeCrcTable();
    }
    void TearDown() override {
        StopDecodingAhead();
        fs::remove_all(root_);
    }

    // Opens `members` as the package of `extractor`, at its first header.
    void Open(Extractor& extractor, const std::vector<lha::Member>& members) {
        lha::ArchiveBuilder builder;
        for (const auto& member : members) builder.Add(member);
        const fs::path path = root_ / "archive.lzh";
        ASSERT_TRUE(builder.End().WriteTo(path.string()));
        extractor.packageFile = new FileHandle;
        const std::u16string name = path.u16string();
        ASSERT_TRUE(extractor.packageFile->Open(name.c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    }

    // The whole run of the worker into a new folder, which it returns.
    fs::path ExtractAll(Extractor& extractor) {
        const fs::path destination = root_ / "dest";
        fs::create_directories(destination);
        const fs::path before = fs::current_path();
        fs::current_path(destination);
        ExtractionWorker(&extractor);
        fs::current_path(before);
        return destination;
    }

    // Each member in turn, taken from the thread when `take(index)`, else decoded here, into
    // memory or, `intoFiles`, into a file as the worker's own decoding writes one; its
    // header too, when `headers`.
    std::vector<Outcome> Walk(Extractor& extractor, bool (*take)(int index), bool headers = false,
                              bool intoFiles = false) {
        std::vector<Outcome> outcomes;
        FileHandle& file = *extractor.packageFile;
        FileHandle sink;
        sink.OpenInMemory();
        LzhHeader header;
        for (int index = 0;; ++index) {
            const uint64_t headerAt = file.Tell();
            const bool headerAhead = headers && TakeHeaderAhead(headerAt, file, header);
            if (!headerAhead && ReadHeader(file, header) != HeaderRead::Member) break;
            const uint64_t dataStart = file.Tell();
            if (take(index)) {
                decodeState.failure = DecodeFailure::None;
                uint32_t crc = 0;
                bool ahead = TakeDecodedAhead(headerAt, sink, crc);
                const fs::path written = root_ / "member";
                FileHandle out;
                if (!ahead && intoFiles)
                    out.Open(written.u16string().c_str(), FileAccess::Write, FileDisposition::CreateAlways);
                if (!ahead)
                    crc = DecodeMember(file, intoFiles ? &out : &sink, header.originalSize, header.packedSize,
                                       LookUpMethod(header.method));
                if (out.IsOpen()) {
                    out.Close();
                    const std::string bytes = ReadAll(written);
                    sink.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
                }
                outcomes.push_back(Collect(sink, crc, ahead));
                outcomes.back().path = header.path.Text();
                outcomes.back().dataStart = dataStart;
                outcomes.back().headerAhead = headerAhead;
            }
            file.Seek(static_cast<int64_t>(dataStart + header.packedSize), SeekOrigin::Begin);
        }
        return outcomes;
    }

    fs::path root_;
};

// Text of `size` bytes that packs, different for each `seed`.
std::string Text(size_t size, unsigned seed) {
    static const char* const words[] = {"static ", "uint32_t ", "return ", "window", "[i] = ", "match;\n", "{ ", "} "};
    std::string text;
    for (unsigned state = seed * 2654435761u + 1; text.size() < size; state = state * 1103515245u + 12345u)
        text += words[(state >> 16) % 8];
    text.resize(size);
    return text;
}

lha::Member Packed(const std::string& name, const std::string& text) {
    EncodeSettings settings;
    settings.dictionaryBits = 13;
    settings.level = EncodeLevel::Fast;
    lha::Member member = lha::Member::Stored(name, text);
    member.method = "-lh5-";
    member.data = EncodeBuffer(settings, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return member;
}

// Small members, a member too large to be held ahead, a folder and members whose data was
// cut or is not what its CRC says.
std::vector<lha::Member> Mixed() {
    std::vector<lha::Member> members;
    members.push_back(lha::Member::Stored("a.txt", "alpha"));
    members.push_back(lha::Member::Folder("sub"));
    members.push_back(lha::Member::Stored("sub/large.bin", std::string(5 << 20, 'L')));
    lha::Member damaged = lha::Member::Stored("sub/damaged.txt", "not what the CRC says");
    damaged.crc ^= 1;
    members.push_back(damaged);
    lha::Member cut = lha::Member::Stored("sub/cut.txt", "only part of it");
    cut.originalSize += 10;
    members.push_back(cut);
    for (int i = 0; i < 40; ++i) members.push_back(lha::Member::Stored("n" + std::to_string(i), std::string(i * 97, 'x')));
    // Packed data that runs dry after some windows: what the thread decoded into memory is
    // what decoding into a file writes.
    lha::Member dry = Packed("dry.txt", Text(300000, 9));
    dry.data.resize(dry.data.size() / 3);
    members.push_back(dry);
    members.push_back(Packed("packed.txt", Text(100000, 4)));
    return members;
}

}  // namespace

TEST_F(DecodeAhead, MembersComeOutAsDecodingInPlaceGivesThem) {
    const auto members = Mixed();
    std::vector<Outcome> inPlace, ahead;
    {
        Extractor extractor;
        Open(extractor, members);
        inPlace = Walk(extractor, [](int) { return true; }, false, true);
    }
    {
        Extractor extractor;
        Open(extractor, members);
        StartDecodingAhead(extractor);
        ahead = Walk(extractor, [](int) { return true; }, true);
        StopDecodingAhead();
    }
    ASSERT_EQ(inPlace.size(), members.size());
    ASSERT_EQ(ahead.size(), members.size());
    for (size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ahead[i].crc, inPlace[i].crc);
        EXPECT_EQ(ahead[i].bytes.size(), inPlace[i].bytes.size());
        EXPECT_TRUE(ahead[i].bytes == inPlace[i].bytes);
        EXPECT_EQ(ahead[i].failure, inPlace[i].failure);
        EXPECT_EQ(ahead[i].ranOut, inPlace[i].ranOut);
        // Every header comes from the thread, the folder's and the large member's as well,
        // with the package put where the worker's own read would have left it.
        EXPECT_TRUE(ahead[i].headerAhead);
        EXPECT_EQ(ahead[i].path, inPlace[i].path);
        EXPECT_EQ(ahead[i].dataStart, inPlace[i].dataStart);
        // The folder and the large member are left to the worker; every other member was
        // decoded ahead (had it not been, this test would compare decoding with itself).
        EXPECT_EQ(ahead[i].ahead, i != 1 && i != 2);
    }
    EXPECT_TRUE(inPlace[4].ranOut);
    EXPECT_TRUE(inPlace[45].ranOut);
    EXPECT_GT(inPlace[45].bytes.size(), 65536u);
    EXPECT_EQ(inPlace[46].bytes, Text(100000, 4));
}

// More members than slots, and more bytes than are held at once.
std::vector<lha::Member> Many() {
    std::vector<lha::Member> members;
    for (int i = 0; i < 1200; ++i)
        members.push_back(lha::Member::Stored("f" + std::to_string(i), std::string(40000 + i, char('a' + i % 26))));
    return members;
}

TEST_F(DecodeAhead, MembersPassedOverAreLetGo) {
    Extractor extractor;
    Open(extractor, Many());
    StartDecodingAhead(extractor);
    // Every third member of the first 300, then a stretch of 800 passed over while the
    // thread waits for room (it must be woken by what is let go), then the rest.
    const auto outcomes = Walk(extractor, [](int index) {
        if (index == 1100) std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the thread fills up
        return index < 300 ? index % 3 == 0 : index >= 1100;
    });
    ASSERT_EQ(outcomes.size(), 200u);
    EXPECT_EQ(outcomes[1].bytes, std::string(40003, 'd'));
    EXPECT_EQ(outcomes[100].bytes, std::string(41100, char('a' + 1100 % 26)));
    for (const auto& outcome : outcomes) EXPECT_TRUE(outcome.ahead);
}

TEST_F(DecodeAhead, ARunOfMoreMembersThanAreHeldExtractsThemAll) {
    // The thread waits for room and the worker for members, again and again.
    Extractor extractor;
    Open(extractor, Many());
    const fs::path destination = ExtractAll(extractor);
    EXPECT_EQ(extractor.failed, 0);
    EXPECT_EQ(extractor.filesDone, 1200u);
    for (int i = 0; i < 1200; i += 199)
        EXPECT_EQ(ReadAll(destination / ("f" + std::to_string(i))), std::string(40000 + i, char('a' + i % 26)));
}

TEST_F(DecodeAhead, TheWorkerDecodesALargeMemberWhileTheThreadDecodesTheNext) {
    // Both threads in the same decoder at once: each must have tables of its own.
    std::vector<lha::Member> members;
    members.push_back(Packed("large.txt", Text(6 << 20, 0)));
    for (unsigned i = 1; i <= 300; ++i) members.push_back(Packed("t" + std::to_string(i), Text(20000 + i, i)));
    Extractor extractor;
    Open(extractor, members);
    const fs::path destination = ExtractAll(extractor);
    EXPECT_EQ(extractor.failed, 0);
    EXPECT_EQ(extractor.filesDone, 301u);
    EXPECT_TRUE(ReadAll(destination / "large.txt") == Text(6 << 20, 0));
    EXPECT_TRUE(ReadAll(destination / "t300") == Text(20300, 300));
}

// A handle in memory writes into the memory it is given while it holds them, and grows out
// of it when not; either way what it gives back is what was written, with the size of
// the memory it lies in.
TEST(MemoryHandle, WritesIntoTheMemoryGivenUntilItGrowsOutOfIt) {
    FileHandle handle;
    auto* room = new uint8_t[100];
    ASSERT_TRUE(handle.OpenInMemory(0, room, 100));
    ASSERT_TRUE(handle.Write("0123456789", 10));
    uint64_t count = 0, memorySize = 0;
    uint8_t* data = handle.TakeWritten(count, &memorySize);
    EXPECT_EQ(data, room);
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(memorySize, 100u);

    ASSERT_TRUE(handle.OpenInMemory(0, data, 4));
    ASSERT_TRUE(handle.Write("abc", 3));
    ASSERT_TRUE(handle.Write("defgh", 5));
    data = handle.TakeWritten(count, &memorySize);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), count), "abcdefgh");
    EXPECT_GE(memorySize, 8u);
    delete[] data;
}

// Members larger and smaller than the one before them, packed and stored, through more
// slots than the thread has: the memory of one written out is decoded into again, and each
// comes out as its own bytes, with nothing an earlier member left there.
TEST_F(DecodeAhead, MemoryDecodedIntoAgainHoldsOnlyTheNextMembersBytes) {
    const size_t sizes[] = {150000, 10, 90000, 0, 70000, 7, 65536, 3};
    const auto textOf = [&](unsigned i) { return Text(sizes[i % 8] + i, i); };
    std::vector<lha::Member> members;
    for (unsigned i = 0; i < 300; ++i) {
        const std::string name = "m" + std::to_string(i);
        members.push_back(i % 3 == 1 ? lha::Member::Stored(name, textOf(i)) : Packed(name, textOf(i)));
    }
    Extractor extractor;
    Open(extractor, members);
    const fs::path destination = ExtractAll(extractor);
    EXPECT_EQ(extractor.failed, 0);
    for (unsigned i = 0; i < 300; ++i) EXPECT_TRUE(ReadAll(destination / ("m" + std::to_string(i))) == textOf(i)) << i;
}

// Folders among more members than the thread holds at once, one inside another: each gets
// its header's time once the run is over, and a run without the thread that follows one
// whose folders were never stamped stamps its own.
TEST_F(DecodeAhead, FoldersTakeTheirHeadersStampsAfterTheRun) {
    std::vector<lha::Member> members;
    const auto folderOf = [](int i) { return "d" + std::to_string(i / 100) + (i % 100 < 50 ? "" : "/inner"); };
    for (int i = 0; i < 600; ++i) {
        const std::string folder = folderOf(i);
        if (i % 50 == 0) {
            members.push_back(lha::Member::Folder(folder));
            members.back().time = 1'500'000'000 + i;
        }
        members.push_back(lha::Member::Stored(folder + "/f" + std::to_string(i), std::string(100, 'x')));
    }
    const auto expectStamps = [&](const fs::path& destination) {
        for (int i = 0; i < 600; i += 50) {
            const std::string folder = folderOf(i);
            struct stat info = {};
            ASSERT_EQ(::stat((destination / folder).c_str(), &info), 0) << folder;
            EXPECT_EQ(info.st_mtime, 1'500'000'000 + i) << folder;
        }
    };
    {
        Extractor extractor;
        Open(extractor, members);
        const fs::path destination = ExtractAll(extractor);
        EXPECT_EQ(extractor.failed, 0);
        EXPECT_EQ(extractor.foldersDone, 12u);
        expectStamps(destination);
        fs::remove_all(destination);
    }
    {
        Extractor earlier;
        Open(earlier, {lha::Member::Folder("elsewhere")});
        StartDecodingAhead(earlier);
        EXPECT_EQ(Walk(earlier, [](int) { return true; }, true).size(), 1u);
        StopDecodingAhead();
    }
    Extractor chosen;
    Open(chosen, members);
    chosen.chooseMember = [](void*, const LzhHeader&) { return true; };
    expectStamps(ExtractAll(chosen));
}
