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

std::string Le(uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    return out;
}

// What other archivers store beside the data: the exact Unix time, the
// permission bits, folders written as empty stored members; and stamps that name no time.
TEST_F(WorkerTest, RestoresWhatOtherArchiversStore) {
    Member tool = Member::Stored("bin/tool", "#!", 1).Ext(0x54, Le(1'700'000'001, 4)).Ext(0x50, Le(0104755, 2));
    Member amigaFolder = Member::Stored("amiga", "", 0);
    amigaFolder.attribute = 0x10;
    Member noTime = Member::Stored("amiga/none", "n", 0);
    noTime.time = 0;
    Member folder = Member::Folder("bin", 1).Ext(0x54, Le(1'600'000'000, 4)).Ext(0x50, Le(040555, 2));
    ArchiveBuilder archive;
    archive.Add(folder).Add(tool).Add(amigaFolder).Add(noTime).End();
    const time_t before = ::time(nullptr);
    Run(archive);

    EXPECT_EQ(extractor_.failed, 0);
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
    EXPECT_EQ(extractor_.filesDone, 2u);
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
