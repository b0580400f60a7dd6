// Hostile archives through the real extraction worker (and `kavisfx extract` where the
// tool's answer matters), grouped by the kind of attack or damage. Every run happens in
// an empty folder `dest` of a sandbox that holds nothing else but the archive and a
// sentinel file; after every run the sandbox must hold exactly those three.
//
// What each run must end with: files only below `dest`; a member that cannot be written
// whole is reported (a message, `failed`, exit status 1), and a file the run reports as
// good is complete.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive/extractor.h"
#include "archive/extraction_worker.h"
#include "decode/bit_input.h"
#include "decode/decode_state.h"
#include "package/ui_texts.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/utf8.h"
#include "support/file_bytes.h"
#include "support/archive_builder.h"
#include "support/packed_member.h"
#include "support/run_tool.h"

namespace fs = std::filesystem;
using lha::Bytes;
using lha::ExtendedHeader;
using lha::Member;

namespace {

const char SentinelText[] = "sentinel";
const std::string DamagedTail = " が壊れています。";

using run::Quote;

// UTF-16 units of a UTF-8 text of the Basic Multilingual Plane.
size_t Utf16Units(const std::string& utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) units += (c & 0xC0) != 0x80;
    return units;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Outcome {
    bool failed = false;
    bool aborted = false;
    std::vector<std::string> messages;
};

struct ToolOutcome {
    int status = -1;
    std::string err;
};

class HostileArchive : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("kavisfx-hostile-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(dest());
        std::ofstream(root_ / "sentinel", std::ios::binary) << SentinelText;
        frontEnd_.context = &outcome_;
        frontEnd_.showMessage = [](void* context, const WideChar* text, const WideChar*, MessageIcon) {
            static_cast<Outcome*>(context)->messages.push_back(Utf8Text(text).c_str());
        };
        frontEnd_.workerEnd = [](void* context, bool aborted) { static_cast<Outcome*>(context)->aborted = aborted; };
    }

    void TearDown() override {
        InstallFrontEnd(nullptr);
        fs::remove_all(root_);
    }

    fs::path dest() const { return root_ / "dest"; }
    fs::path archivePath() const { return root_ / "archive.lzh"; }

    // Empties the destination; the sandbox keeps its sentinel.
    void ResetDestination() {
        fs::remove_all(dest());
        fs::create_directories(dest());
    }

    // The worker in this process, with `dest` as the current folder.
    Outcome Extract(const Bytes& archive) {
        EXPECT_TRUE(lha::WriteFile(archivePath(), archive));
        outcome_ = Outcome();
        decodeState.keepRunning.store(1);
        decodeState.progressTotal = decodeState.progressBase = decodeState.lastPercent = 0;
        InstallFrontEnd(&frontEnd_);
        fs::path previous = fs::current_path();
        fs::current_path(dest());
        {
            Extractor extractor;
            extractor.packageFile = new FileHandle;
            std::u16string wide = fs::path(archivePath()).u16string();
            EXPECT_TRUE(extractor.packageFile->Open(wide.c_str(), FileAccess::Read, FileDisposition::OpenExisting));
            ExtractionWorker(&extractor);
            outcome_.failed = extractor.failed != 0;
        }
        fs::current_path(previous);
        InstallFrontEnd(nullptr);
        ExpectNothingOutside();
        return outcome_;
    }

    ToolOutcome ExtractWithTool(const Bytes& archive) {
        return RunTool(archive, "extract " + Quote(archivePath()) + " -C " + Quote(dest()));
    }

    ToolOutcome TestWithTool(const Bytes& archive) { return RunTool(archive, "test " + Quote(archivePath())); }

    // Standard output and error together; in the C locale the worker's texts are English.
    ToolOutcome RunTool(const Bytes& archive, const std::string& arguments) {
        EXPECT_TRUE(lha::WriteFile(archivePath(), archive));
        run::Result result = run::Shell("LC_ALL=C " + Quote(KAVISFX_TOOL) + " " + arguments);
        ExpectNothingOutside();
        return {result.status, result.all()};
    }

    // Regular files and folders below `dest`, relative, folders ending in '/'.
    std::set<std::string> Entries() const {
        std::set<std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(dest())) {
            std::string relative = fs::relative(entry.path(), dest()).generic_string();
            EXPECT_FALSE(entry.is_symlink()) << relative;
            entries.insert(entry.is_directory() ? relative + "/" : relative);
        }
        return entries;
    }

    void ExpectNothingOutside() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(root_)) names.insert(entry.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"archive.lzh", "dest", "sentinel"}));
        EXPECT_EQ(ReadAll(root_ / "sentinel"), SentinelText);
    }

    FrontEnd frontEnd_;

private:
    fs::path root_;
    Outcome outcome_;
};

Bytes Archive(const std::vector<Member>& members) {
    lha::ArchiveBuilder builder;
    for (const Member& member : members) builder.Add(member);
    return builder.End().Contents();
}

Member StoredAt(int level, const std::string& name, const std::string& content) {
    return Member::Stored(name, content, level);
}

// A level-2 member whose name comes in a UTF-16 (0x44) header.
Member WideNamed(const std::u16string& name, const std::string& content) {
    Member member = Member::Stored("", content);
    member.ext = {ExtendedHeader::Wide(lha::ExtUtf16Name, name)};
    return member;
}

// A level-2 member of `method` named by a 0x01 header, with its packed bytes.
Member Packed(const char* method, const std::string& name, const Bytes& data, uint32_t originalSize) {
    Member member = Member::Stored("", "");
    member.method = method;
    member.data = data;
    member.originalSize = originalSize;
    member.ext = {ExtendedHeader::Text(lha::ExtFileName, name)};
    return member;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Every folder on the way to `path`, and the path itself.
std::set<std::string> WithFolders(const std::set<std::string>& paths) {
    std::set<std::string> out;
    for (const std::string& path : paths) {
        for (size_t at = path.find('/'); at != std::string::npos && at + 1 < path.size(); at = path.find('/', at + 1))
            out.insert(path.substr(0, at + 1));
        out.insert(path);
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Names that try to leave the destination, or that Windows would take for something else.

struct NameCase {
    const char* stored;
    const char* expected;
};

// A few of each kind (paths_test has the full table): each header form reaches the sanitiser.
const NameCase TraversalNames[] = {
    {"../../evil.txt", "evil.txt"},
    {"a\\..\\..\\b.txt", "a/b.txt"},
    {"C:\\Windows\\evil.txt", "Windows/evil.txt"},
    {"\\\\?\\C:\\long.txt", "long.txt"},
    {".. /trimmed.txt", "trimmed.txt"},
    {"sub/NUL", "sub/_NUL"},
    {"file.txt:stream", "file.txt_stream"},
};

TEST_F(HostileArchive, TraversalNamesLandInsideInEveryHeaderForm) {
    for (const NameCase& name : TraversalNames) {
        std::vector<std::pair<std::string, Member>> forms = {
            {"level 0 name", StoredAt(0, name.stored, "x")},
            {"level 1 name", StoredAt(1, name.stored, "x")},
            {"level 2 0x01 name", Member::Stored(name.stored, "x")},
            {"level 2 0x44 name", WideNamed(Widen(name.stored), "x")},
        };
        for (const auto& [form, member] : forms) {
            SCOPED_TRACE(std::string(name.stored) + " in a " + form);
            ResetDestination();
            Outcome outcome = Extract(Archive({member}));
            EXPECT_FALSE(outcome.failed);
            EXPECT_TRUE(outcome.messages.empty());
            EXPECT_EQ(Entries(), WithFolders({name.expected}));
            EXPECT_EQ(ReadAll(dest() / name.expected), "x");
        }
    }
}

TEST_F(HostileArchive, TraversalDirectoriesLandInside) {
    Member multiByte = Member::Stored("", "m");
    multiByte.ext = {ExtendedHeader::Text(lha::ExtDirectory, "..\xff..\xff" "C:\xff"),
                     ExtendedHeader::Text(lha::ExtFileName, "m.txt")};
    Member levelOne = Member::Stored("l.txt", "l", 1);
    levelOne.ext = {ExtendedHeader::Text(lha::ExtDirectory, "..\xff..\xff")};
    Member wide = Member::Stored("", "w");
    wide.ext = {ExtendedHeader::Wide(lha::ExtUtf16Directory, u"..\\..\\/..\xffff"),
                ExtendedHeader::Wide(lha::ExtUtf16Name, u"w.txt")};
    Member nameClimbs = Member::Stored("", "n");
    nameClimbs.ext = {ExtendedHeader::Text(lha::ExtDirectory, "d\xff"),
                      ExtendedHeader::Text(lha::ExtFileName, "..\\..\\n.txt")};
    Member folder = Member::Folder("../../outside");
    Outcome outcome = Extract(Archive({multiByte, levelOne, wide, nameClimbs, folder}));
    EXPECT_FALSE(outcome.failed);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_EQ(Entries(), WithFolders({"m.txt", "l.txt", "w.txt", "d/n.txt", "outside/"}));
}

// ---------------------------------------------------------------------------------------
// Long names and long headers.

TEST_F(HostileArchive, LongNamesStayInsideOrFailClearly) {
    // One component of 1200 units: no file system takes it, so the member fails with the
    // system's text.
    Outcome single = Extract(Archive({WideNamed(std::u16string(1200, u'n'), "x")}));
    EXPECT_TRUE(single.failed);
    EXPECT_EQ(single.messages.size(), 1u);
    EXPECT_TRUE(Entries().empty());

    // 1200 units in folders of ten: an ordinary deep path.
    std::string deep;
    for (int i = 0; i < 120; ++i) deep += "abcdefghi/";
    ResetDestination();
    Member nested = Member::Stored("", "deep");
    nested.ext = {ExtendedHeader::Text(lha::ExtDirectory, deep), ExtendedHeader::Text(lha::ExtFileName, "f")};
    Outcome outcome = Extract(Archive({nested}));
    EXPECT_FALSE(outcome.failed);
    EXPECT_EQ(ReadAll(dest() / (deep + "f")), "deep");

    // The same path with a wrong CRC: the message is cut to its buffer but keeps its tail.
    ResetDestination();
    nested.crc ^= 0xFFFF;
    Outcome damaged = Extract(Archive({nested}));
    EXPECT_TRUE(damaged.failed);
    ASSERT_EQ(damaged.messages.size(), 1u);
    EXPECT_TRUE(EndsWith(damaged.messages[0], DamagedTail)) << damaged.messages[0];
    EXPECT_LE(Utf16Units(damaged.messages[0]), 255u);
}

// Headers whose lengths and chains do not fit: the walk ends there without writing
// anything of them; what came before stays.
TEST_F(HostileArchive, HeadersThatDoNotFitEndTheWalk) {
    struct Case {
        const char* what;
        Member member;
    };
    std::vector<Case> cases;
    {
        Member m = Member::Stored("", "x");
        m.ext = {ExtendedHeader::Text(0x7F, std::string(5000, 'z')), ExtendedHeader::Text(lha::ExtFileName, "big")};
        cases.push_back({"level-2 header longer than the header buffer", m});
    }
    {
        Member m = Member::Stored("o", "x", 1);
        m.ext = {ExtendedHeader::Text(lha::ExtFileName, "overrun")};
        m.ext.front().sizeOverride = 0xFFF0;
        cases.push_back({"level-1 extended header larger than the buffer", m});
    }
    {
        Member m = Member::Stored("", "x");
        m.ext = {ExtendedHeader::Text(lha::ExtFileName, "overrun")};
        m.ext.front().sizeOverride = 200;
        cases.push_back({"level-2 extended header running past the header", m});
    }
    for (uint16_t size : {1, 2}) {
        Member m = Member::Stored("", "x");
        m.ext = {ExtendedHeader::Text(lha::ExtFileName, "tiny")};
        m.ext.front().sizeOverride = size;
        cases.push_back({"extended header smaller than its own size field", m});
    }
    {
        Member m = Member::Stored("name", "x");
        m.chainEnd = false;  // the last size field missing: the chain runs one past the header
        m.headerLengthOverride = static_cast<uint16_t>(lha::BuildHeader(m).size());
        cases.push_back({"level-2 chain running past its header", m});
    }
    {
        Member m = Member::Stored("", "x");
        m.headerLengthOverride = 10;
        cases.push_back({"level-2 length shorter than the fixed fields", m});
    }
    {
        Member m = Member::Stored("x", "x", 1);
        m.ext = {ExtendedHeader::Text(lha::ExtFileName, "name")};
        m.packedSizeOverride = 3;  // less than the extended headers it counts
        cases.push_back({"level-1 packed size smaller than its extended headers", m});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetDestination();
        Outcome outcome = Extract(Archive({Member::Stored("before", "b"), c.member, Member::Stored("after", "a")}));
        EXPECT_TRUE(outcome.failed);
        EXPECT_FALSE(outcome.aborted);
        EXPECT_EQ(ReadAll(dest() / "before"), "b");
        EXPECT_EQ(Entries(), std::set<std::string>{"before"});
    }
}

// ---------------------------------------------------------------------------------------
// Sizes that lie and data that is missing.

TEST_F(HostileArchive, DataCutOffOrRunningDryIsReportedDamaged) {
    struct Case {
        const char* what;
        Member member;
    };
    std::vector<Case> cases;
    {
        Member m = Member::Stored("stored", "0123456789");
        m.originalSize = 1000000;
        cases.push_back({"stored member claiming a megabyte", m});
    }
    {
        Member m = StoredAt(0, "stored-no-crc", "0123456789");
        m.originalSize = 1000;
        m.hasCrc = false;
        cases.push_back({"stored member without CRC claiming more than the file holds", m});
    }
    {
        // The CRC matches the first four bytes: only the sizes tell.
        Member m = Member::Stored("stored-longer", "0123456789");
        m.originalSize = 4;
        m.crc = packed_member::CrcOf(Bytes{'0', '1', '2', '3'});
        cases.push_back({"stored member whose data is longer than its size", m});
    }
    {
        Member m = Packed("-lh5-", "packed-past-end", Bytes(20, 0x00), 1000);
        m.packedSizeOverride = 0xFFFFFF00;
        cases.push_back({"-lh5- member claiming 4 GB of packed data", m});
    }
    {
        // Zero bits decode to zero bytes at no cost for one block of 65536 symbols; the
        // next block header lies beyond the data. Zeros have a CRC-16 of 0.
        Member m = Packed("-lh5-", "zeros-crc-0", Bytes(8, 0x00), 100u << 20);
        m.crc = 0;
        cases.push_back({"-lh5- stream running dry with a matching CRC", m});
    }
    {
        Member m = StoredAt(0, "dry-no-crc", "");
        m.method = "-lzs-";
        m.data = {0xFF, 0x80};  // one literal, then nothing
        m.originalSize = 100u << 20;
        m.hasCrc = false;
        cases.push_back({"-lzs- stream running dry without a CRC", m});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetDestination();
        Bytes archive = Archive({c.member});
        archive.pop_back();  // no end mark: the data is the last thing in the file
        Outcome outcome = Extract(archive);
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(outcome.messages.size(), 1u);
        for (const std::string& message : outcome.messages) EXPECT_TRUE(EndsWith(message, DamagedTail)) << message;
        // Decoding stops soon after the data runs out, not at the size the header claims.
        for (const std::string& entry : Entries()) EXPECT_LE(fs::file_size(dest() / entry), 1u << 18) << entry;
        ResetDestination();
        ToolOutcome tool = ExtractWithTool(archive);
        EXPECT_EQ(tool.status, 1);
        EXPECT_NE(tool.err.find(" is damaged."), std::string::npos) << tool.err;
        ToolOutcome test = TestWithTool(archive);
        EXPECT_EQ(test.status, 1);
        EXPECT_NE(test.err.find("damaged "), std::string::npos) << test.err;
    }
}

// A header's packed size is no reason to allocate it: the buffer holds at most what the
// file still has.
TEST(HostileSizes, InputBufferIsNoLargerThanTheRestOfTheFile) {
    packed_member::ScratchFile file(Bytes(100, 0xAB));
    FileHandle input;
    std::u16string path = file.Wide();
    ASSERT_TRUE(input.Open(path.c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    ASSERT_TRUE(input.Seek(40, SeekOrigin::Begin));
    ASSERT_TRUE(AllocInputBuffer(input, 0xFFFFFF00u));
    EXPECT_EQ(decodeState.inputBufferSize, 60u);
    FreeInputBuffer();
    ASSERT_TRUE(input.Seek(100, SeekOrigin::Begin));
    ASSERT_TRUE(AllocInputBuffer(input, 0xFFFFFF00u));
    EXPECT_EQ(decodeState.inputBufferSize, 0u);
    decodeState.packedRemaining = 5;
    EXPECT_EQ(NextPackedByte(), 0);  // nothing to read: zeros, never a read past the buffer
    FreeInputBuffer();
}

TEST_F(HostileArchive, SoundStreamOfZerosIsNotMistakenForOneRunningDry) {
    // The same eight zero bytes make a block of 65536 zero bytes: complete, CRC 0.
    Member m = Packed("-lh5-", "zeros", Bytes(8, 0x00), 65536);
    m.crc = 0;
    Outcome outcome = Extract(Archive({m}));
    EXPECT_FALSE(outcome.failed);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_EQ(ReadAll(dest() / "zeros"), std::string(65536, '\0'));
}

// Cut at every byte, an archive of three members (levels 0, 1 and 2; stored, stored and
// -lh2-) never yields a file that the run calls good but that differs from the whole
// archive's: each file is complete, or the run named it damaged and failed.
TEST_F(HostileArchive, EveryTruncationPointEndsSoundly) {
    Bytes fixture;
    {
        std::ifstream in(fs::path(KAVISFX_FIXTURES_DIR) / "unlha32_lh2.lzh", std::ios::binary);
        fixture.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(fixture.size(), 100u);
    Member levelOne = Member::Stored("one.txt", std::string(300, 'o'), 1);
    levelOne.ext = {ExtendedHeader::Text(lha::ExtDirectory, "dir\xff")};
    Bytes archive = Archive({StoredAt(0, "zero.txt", "level zero"), levelOne});
    archive.pop_back();
    archive.insert(archive.end(), fixture.begin(), fixture.end());

    Outcome whole = Extract(archive);
    ASSERT_FALSE(whole.failed);
    std::map<std::string, std::string> reference;
    for (const std::string& entry : Entries())
        if (entry.back() != '/') reference[entry] = ReadAll(dest() / entry);
    ASSERT_EQ(reference.size(), 3u);

    for (size_t cut = 0; cut < archive.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        ResetDestination();
        Outcome outcome = Extract(Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(cut)));
        size_t damaged = 0;
        for (const std::string& entry : Entries()) {
            if (entry.back() == '/') continue;
            ASSERT_TRUE(reference.count(entry)) << entry;
            if (ReadAll(dest() / entry) == reference[entry]) continue;
            ++damaged;
            ASSERT_EQ(outcome.messages.size(), 1u);
            EXPECT_NE(outcome.messages[0].find(entry), std::string::npos) << outcome.messages[0];
        }
        if (damaged) {
            EXPECT_TRUE(outcome.failed);
        }
        EXPECT_LE(damaged, 1u);
    }
}

// ---------------------------------------------------------------------------------------
// Links already in the destination, one to the sandbox's folder and one to its sentinel.
// A member below the folder link fails with a message naming it, whether it would write,
// delete or make a folder there; a member named like a link replaces the link itself.
// Extract() checks that nothing outside `dest` was created, deleted or changed.

TEST_F(HostileArchive, LinksInTheDestinationAreNotFollowed) {
    const fs::path outside = dest().parent_path();
    const std::string linkText = std::string(" ") + Utf8Text(Text(UiText::LinkInPath)).c_str();
    struct Case {
        Member member;
        std::string path;
        bool refused;
    };
    const Case cases[] = {
        {Member::Stored("link/evil", "new"), "link/evil", true},
        {Member::Stored("link/sentinel", "new"), "link/sentinel", true},
        {Member::Folder("link/sub"), "link/sub/", true},
        {Member::Stored("file-link", "new"), "file-link", false},
        {Member::Stored("link", "new"), "link", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ResetDestination();
        fs::create_directory_symlink(outside, dest() / "link");
        fs::create_symlink(outside / "sentinel", dest() / "file-link");
        Outcome outcome = Extract(Archive({c.member}));
        EXPECT_EQ(outcome.failed, c.refused);
        if (c.refused) {
            EXPECT_EQ(outcome.messages, std::vector<std::string>{c.path + linkText});
        } else {
            EXPECT_TRUE(outcome.messages.empty());
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dest() / c.path)));
            EXPECT_EQ(ReadAll(dest() / c.path), "new");
        }
    }
}

// The worker keeps the folders it reached open from member to member: a folder swapped
// for a link while the run goes on must not lead the next member through the link.
TEST_F(HostileArchive, FolderSwappedForALinkMidRunIsNotFollowed) {
    static fs::path swapIn;
    swapIn = dest();
    frontEnd_.memberName = [](void*, const WideChar* path) {
        if (std::string(Utf8Text(path).c_str()) != "a/second") return;
        fs::rename(swapIn / "a", swapIn / "moved");
        fs::create_directory_symlink(swapIn.parent_path(), swapIn / "a");
    };
    Outcome outcome = Extract(Archive({Member::Stored("a/first", "1"), Member::Stored("a/second", "2")}));
    frontEnd_.memberName = nullptr;
    EXPECT_FALSE(outcome.failed);
    EXPECT_EQ(ReadAll(dest() / "moved" / "second"), "2");
}

// ---------------------------------------------------------------------------------------
// Packed data of no meaning for every method: all zeros, all ones, random bytes.

TEST_F(HostileArchive, MeaninglessStreamsOfEveryMethodAreReportedDamaged) {
    const char* methods[] = {"-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-",
                             "-lh6-", "-lh7-", "-lzs-", "-lz5-", "-lz4-"};
    std::mt19937 random(7);
    Bytes noise(64);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
    const std::pair<const char*, Bytes> streams[] = {
        {"zeros", Bytes(64, 0x00)}, {"ones", Bytes(64, 0xFF)}, {"random", noise}};
    for (const char* method : methods) {
        bool stored = std::string(method) == "-lh0-" || std::string(method) == "-lz4-";
        for (const auto& [what, data] : streams) {
            SCOPED_TRACE(std::string(method) + " " + what);
            ResetDestination();
            Member m = Packed(method, "member", data, stored ? static_cast<uint32_t>(data.size()) : 5000);
            m.crc = 0xBEEF;  // matches none of these streams
            Outcome outcome = Extract(Archive({m, Member::Stored("after", "a")}));
            EXPECT_TRUE(outcome.failed);
            EXPECT_EQ(outcome.messages.size(), 1u);
            for (const std::string& message : outcome.messages) EXPECT_TRUE(EndsWith(message, DamagedTail)) << message;
            // The damaged file stays, never longer than its stated size; the walk stops at it.
            EXPECT_EQ(Entries(), std::set<std::string>{"member"});
            EXPECT_LE(fs::file_size(dest() / "member"), m.originalSize);
        }
    }
}

}  // namespace
