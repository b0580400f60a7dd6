// The extraction worker, run in this process over archives built here, with a front end
// that records what the worker tells it. Each test works in a fresh destination folder
// that is the current directory while the worker runs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "archive/extractor.h"
#include "archive/extraction_worker.h"
#include "package/ui_texts.h"
#include "decode/decode_state.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/utf8.h"
#include "support/file_bytes.h"
#include "support/archive_builder.h"

namespace fs = std::filesystem;
using lha::ArchiveBuilder;
using lha::Member;

namespace {

std::string Utf8(const WideChar* text) { return Utf8Text(text).c_str(); }

std::string Pattern(size_t size, unsigned seed) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 31 + seed + i / 7) & 0xFF);
    return out;
}

// What the worker said, in order: "member:PATH", "message:TEXT", "progress:N", "end:done"
// or "end:aborted". Progress is kept apart so the order of the rest is easy to compare.
struct Recorder {
    std::vector<std::string> events;
    std::vector<uint32_t> percents;
    std::string member;
    std::string abortDuring;  // clear keepRunning at the first progress report of this member

    FrontEnd frontEnd;
    Recorder() {
        frontEnd.context = this;
        frontEnd.showMessage = [](void* self, const WideChar* text, const WideChar*, MessageIcon) {
            static_cast<Recorder*>(self)->events.push_back("message:" + Utf8(text));
        };
        frontEnd.memberName = [](void* self, const WideChar* path) {
            auto* r = static_cast<Recorder*>(self);
            r->member = Utf8(path);
            r->events.push_back("member:" + r->member);
        };
        frontEnd.progress = [](void* self, uint32_t percent) {
            auto* r = static_cast<Recorder*>(self);
            r->percents.push_back(percent);
            if (!r->abortDuring.empty() && r->member == r->abortDuring) decodeState.keepRunning.store(0);
        };
        frontEnd.workerEnd = [](void* self, bool aborted) {
            static_cast<Recorder*>(self)->events.push_back(aborted ? "end:aborted" : "end:done");
        };
    }
};

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("kavisfx-worker-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "out");
        previous_ = fs::current_path();
        fs::current_path(root_ / "out");
        decodeState.progressBase = 0;
        decodeState.progressTotal = 0;
        decodeState.lastPercent = 0;
        InstallFrontEnd(&recorder_.frontEnd);
    }
    void TearDown() override {
        InstallFrontEnd(nullptr);
        decodeState.keepRunning.store(1);
        fs::current_path(previous_);
        fs::remove_all(root_);
    }

    // Runs the worker over `archive` (a plain archive from offset 0) into out/.
    void Run(const ArchiveBuilder& archive) {
        fs::path file = root_ / "archive.lzh";
        ASSERT_TRUE(archive.WriteTo(file.string()));
        delete extractor_.packageFile;  // a case may run more than one archive
        extractor_.packageFile = new FileHandle;
        ASSERT_TRUE(extractor_.packageFile->Open(u"../archive.lzh", FileAccess::Read, FileDisposition::OpenExisting));
        ExtractionWorker(&extractor_);
    }

    fs::path Out(const std::string& relative) const { return root_ / "out" / relative; }

    fs::path root_, previous_;
    Recorder recorder_;
    Extractor extractor_;
};

using Events = std::vector<std::string>;

// A folder, its files and a member of a method the stub does not know (named, counted as
// failed, and passed over): one name per member, then exactly one end.
TEST_F(WorkerTest, FolderThenItsFilesInOrderWithOneEnd) {
    Member odd = Member::Stored("docs/odd.bin", "xxxxxxxx");
    odd.method = "-zz9-";
    ArchiveBuilder archive;
    archive.Add(Member::Folder("docs"))
        .Add(Member::Stored("docs/a.txt", "alpha"))
        .Add(odd)
        .Add(Member::Stored("docs/b.txt", Pattern(5000, 1)))
        .Add(Member::Stored("docs/c.txt", ""))
        .End();
    Run(archive);

    EXPECT_EQ(recorder_.events,
              (Events{"member:docs/", "member:docs/a.txt", "member:docs/odd.bin",
                      "message:docs/odd.bin (-zz9-) " + Utf8(Text(UiText::UnknownMethod)), "member:docs/b.txt",
                      "member:docs/c.txt", "end:done"}));
    EXPECT_EQ(extractor_.failed, 1);
    EXPECT_EQ(extractor_.membersFailed, 1u);
    EXPECT_EQ(extractor_.filesDone, 3u);
    EXPECT_EQ(decodeState.progressTotal, 5013u);
    EXPECT_FALSE(fs::exists(Out("docs/odd.bin")));
    EXPECT_EQ(ReadAll(Out("docs/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(Out("docs/b.txt")), Pattern(5000, 1));
    EXPECT_TRUE(fs::is_regular_file(Out("docs/c.txt")));
    EXPECT_EQ(fs::file_size(Out("docs/c.txt")), 0u);
    ASSERT_FALSE(recorder_.percents.empty());
    EXPECT_EQ(recorder_.percents.back(), 100u);

    struct stat info;
    ASSERT_EQ(::stat(Out("docs/a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 946684800);  // the header's time, not the time of extraction
}

TEST_F(WorkerTest, DamagedMessageCutsAPathTooLongForItsBuffer) {
    std::string path;
    for (int i = 0; i < 30; ++i) path += "folder" + std::to_string(100 + i) + "/";
    path += "file.txt";  // 278 characters
    Member bad = Member::Stored(path, "data");
    bad.crc ^= 1;
    ArchiveBuilder archive;
    archive.Add(bad).End();
    Run(archive);

    ASSERT_EQ(recorder_.events.size(), 3u);
    WideString wide;
    AssignFromUtf8(wide, recorder_.events[1].c_str() + std::strlen("message:"));
    std::u16string text = wide.Text();
    EXPECT_EQ(text.size(), 255u);  // the buffer's 256 units, terminator included
    EXPECT_EQ(text.substr(0, 5 + 20), u"ファイル " + std::u16string(u"folder100/folder101/").substr(0, 20));
    EXPECT_EQ(text.substr(text.size() - 10), u"\u2026 が壊れています。");
    EXPECT_EQ(ReadAll(Out(path)), "data");
}

// What the destination already holds: a file is replaced without a question, a folder
// member over an existing folder is quiet, a folder in the way of a file stops the walk.
TEST_F(WorkerTest, ExistingEntriesInTheDestination) {
    WriteAll(Out("note.txt"), std::string(10000, 'o'));
    fs::create_directories(Out("keep"));
    WriteAll(Out("keep/old.txt"), "old");
    fs::create_directories(Out("data/inner"));
    ArchiveBuilder archive;
    archive.Add(Member::Stored("note.txt", "new"))
        .Add(Member::Folder("keep"))
        .Add(Member::Stored("data", "content"))
        .Add(Member::Stored("after", "x"))
        .End();
    Run(archive);

    EXPECT_EQ(recorder_.events, (Events{"member:note.txt", "member:keep/", "member:data",
                                        "message:data を解凍できません。同名のフォルダが存在します。", "end:done"}));
    EXPECT_EQ(extractor_.failed, 1);
    EXPECT_EQ(ReadAll(Out("note.txt")), "new");
    EXPECT_EQ(ReadAll(Out("keep/old.txt")), "old");
    EXPECT_TRUE(fs::is_directory(Out("data/inner")));
    EXPECT_FALSE(fs::exists(Out("after")));
}

TEST_F(WorkerTest, AbortDeletesTheMemberInHandAndKeepsEarlierOnes) {
    ArchiveBuilder archive;
    archive.Add(Member::Stored("small", "kept"))
        .Add(Member::Stored("big", Pattern(300000, 2)))
        .Add(Member::Folder("later"))
        .Add(Member::Stored("later/last", "never"))
        .End();
    recorder_.abortDuring = "big";
    Run(archive);

    EXPECT_EQ(recorder_.events, (Events{"member:small", "member:big", "end:aborted"}));
    EXPECT_EQ(extractor_.failed, 1);
    EXPECT_EQ(ReadAll(Out("small")), "kept");
    EXPECT_FALSE(fs::exists(Out("big")));
    EXPECT_EQ(Utf8(extractor_.currentOutputPath.Text()), "big");
}

// Archives whose walk ends at a damaged, unknown or unnamed member, replayed one by one:
// what the worker says before its one end, whether the run failed, and the files left
// (nullptr: none). A folder member over an existing file fails the same way.
TEST_F(WorkerTest, DamagedOrUnwritableMembersEndTheWalk) {
    Member badCrc = Member::Stored("two", "second member");
    badCrc.crc ^= 0x1234;
    Member odd = Member::Stored("odd", "x", 0);
    odd.hasOsId = false;
    odd.baseExtra = {0x00};  // H - n = 23: no known shape
    Member claim = Member::Stored("claim", "abcd", 0);  // read for its packed size alone, even without a CRC
    claim.originalSize = 40;
    claim.hasCrc = false;
    Member far = Member::Folder("far");  // sizes are unsigned: 2^31 and more moves forward
    far.packedSizeOverride = 0x80000010u;
    lha::Bytes cut = ArchiveBuilder().Add(Member::Stored("a", "aaa")).Add(Member::Stored("b", "bbb")).Contents();
    cut.resize(cut.size() - 3 - 10);  // inside the second header
    const std::string damaged = "message:ファイル ";
    const struct {
        std::vector<Member> members;
        lha::Bytes raw;
        Events events;
        bool failed;
        std::map<std::string, const char*> files;
    } cases[] = {
        {{Member::Stored("one", "first"), badCrc, Member::Stored("three", "third")}, {},
         {"member:one", "member:two", damaged + "two が壊れています。"}, true,
         {{"one", "first"}, {"two", "second member"}, {"three", nullptr}}},
        {{}, cut, {"member:a", "message:" + Utf8(Text(UiText::DamagedArchive))}, true, {{"a", "aaa"}}},
        {{Member::Stored("a", "aaa"), odd, Member::Stored("b", "bbb")}, {}, {"member:a", "message:Unknown header"},
         true, {{"b", nullptr}}},
        {{Member::Stored("../..", "x", 1)}, {}, {"member:../..", "message:../.. " + Utf8(Text(UiText::InvalidName))},
         true, {}},
        {{claim, Member::Stored("next", Pattern(100, 7))}, {}, {"member:claim", damaged + "claim が壊れています。"},
         true, {{"claim", "abcd"}, {"next", nullptr}}},
        {{far, Member::Stored("next", "n")}, {}, {"member:far/"}, false, {{"next", nullptr}}},
        {{Member::Folder("taken"), Member::Stored("after", "a")}, {},
         {"member:taken/", "message:taken/ " + Utf8(Text(UiText::FileConflict))}, true,
         {{"taken", "keep"}, {"after", nullptr}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events.front());
        for (const auto& entry : fs::directory_iterator(Out(""))) fs::remove_all(entry.path());
        WriteAll(Out("taken"), "keep");
        recorder_.events.clear();
        extractor_.failed = 0;
        ArchiveBuilder archive;
        for (const Member& member : c.members) archive.Add(member);
        archive.AddRaw(c.raw);
        if (!c.members.empty()) archive.End();
        Run(archive);
        Events expected = c.events;
        expected.push_back("end:done");
        EXPECT_EQ(recorder_.events, expected);
        EXPECT_EQ(extractor_.failed, c.failed);
        for (const auto& [path, content] : c.files) {
            if (content) EXPECT_EQ(ReadAll(Out(path)), content) << path;
            else EXPECT_FALSE(fs::exists(Out(path))) << path;
        }
    }
}

std::string Le(uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    return out;
}

// What other archivers store beside the data: 64-bit sizes, the exact Unix time, the
// permission bits, folders written as empty stored members; and stamps that name no time.
TEST_F(WorkerTest, RestoresWhatOtherArchiversStore) {
    Member sized = Member::Stored("sized", "sixty-four", 2).Ext(0x42, Le(10, 8) + Le(10, 8));
    sized.packedSizeOverride = 0;
    sized.originalSize = 0;
    Member tool = Member::Stored("bin/tool", "#!", 1).Ext(0x54, Le(1'700'000'001, 4)).Ext(0x50, Le(0104755, 2));
    Member amigaFolder = Member::Stored("amiga", "", 0);
    amigaFolder.attribute = 0x10;
    Member noTime = Member::Stored("amiga/none", "n", 0);
    noTime.time = 0;
    Member folder = Member::Folder("bin", 1).Ext(0x54, Le(1'600'000'000, 4)).Ext(0x50, Le(040555, 2));
    ArchiveBuilder archive;
    archive.Add(folder).Add(sized).Add(tool).Add(amigaFolder).Add(noTime).End();
    const time_t before = ::time(nullptr);
    Run(archive);

    EXPECT_EQ(extractor_.failed, 0);
    EXPECT_EQ(ReadAll(Out("sized")), "sixty-four");
    struct stat info = {};
    ASSERT_EQ(::stat(Out("bin/tool").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1'700'000'001);
    EXPECT_EQ(info.st_mode & 07777, 0755u);  // never set-uid
    ASSERT_EQ(::stat(Out("bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1'600'000'000);  // after its file was written
    EXPECT_EQ(info.st_mode & 07777, 0755u);   // the owner keeps full access
    EXPECT_TRUE(fs::is_directory(Out("amiga")));
    ASSERT_EQ(::stat(Out("amiga/none").c_str(), &info), 0);
    EXPECT_GE(info.st_mtime, before);
    EXPECT_EQ(extractor_.foldersDone, 2u);
    EXPECT_EQ(extractor_.filesDone, 3u);
}

// The pre-scan jumps from header to header by their lengths alone: long level-0 names
// (byte 0 of 128 and more), level-1 extended headers counted in the packed size, and
// level-2 headers longer than 255 bytes, whose length needs both bytes 0 and 1.
TEST_F(WorkerTest, PreScanSumsEveryHeaderShapeAndKeepsThePosition) {
    Member longName = Member::Stored(std::string(200, 'n'), Pattern(1000, 3), 0);
    Member withExt = Member::Stored("one", Pattern(2000, 4), 1).Ext(0x3F, std::string(100, 'e'));
    Member longHeader = Member::Stored("two", Pattern(4000, 5));
    longHeader.Ext(0x3F, std::string(600, 'c'));
    ArchiveBuilder archive;
    archive.Add(longName).Add(withExt).Add(longHeader).Add(Member::Stored("last", Pattern(8000, 6))).End();
    fs::path file = root_ / "scan.lzh";
    ASSERT_TRUE(archive.WriteTo(file.string()));
    extractor_.packageFile = new FileHandle;
    WideString widePath;
    AssignFromUtf8(widePath, file.c_str());
    ASSERT_TRUE(extractor_.packageFile->Open(widePath.Text(), FileAccess::Read, FileDisposition::OpenExisting));
    ASSERT_TRUE(extractor_.packageFile->Seek(0, SeekOrigin::Begin));

    EXPECT_EQ(SumOriginalSizes(extractor_), 15000u);
    EXPECT_EQ(extractor_.packageFile->Tell(), 0u);

    // Cut inside the fixed fields of the last header: the members before it still count.
    Member last = Member::Stored("last", Pattern(8000, 6));
    lha::Bytes bytes = archive.Contents();
    size_t cutAt = bytes.size() - 1 - 8000 - lha::BuildHeader(last).size() + 15;
    ArchiveBuilder cut;
    cut.AddRaw(lha::Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cutAt)));
    ASSERT_TRUE(cut.WriteTo(file.string()));
    ASSERT_TRUE(extractor_.packageFile->Open(widePath.Text(), FileAccess::Read, FileDisposition::OpenExisting));
    EXPECT_EQ(SumOriginalSizes(extractor_), 7000u);
}

}  // namespace
