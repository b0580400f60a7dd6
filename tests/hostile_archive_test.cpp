// Archives through the real extraction worker (and `kavisfx extract` and `test`): above
// all the golden archives, hostile, damaged and ordinary, each with its recorded outcome.
// Every run happens in an empty folder `dest` of a sandbox that holds nothing else but
// the archive and a sentinel file (its path is not ASCII, as a user's often is); after
// every run the sandbox must hold exactly those three.
//
// What each run must end with: files only below `dest`; a member that cannot be written
// whole is reported (a message, `failed`, exit status 1), and a file the run reports as
// good is complete.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <functional>
#include <chrono>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
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

struct Outcome {
    bool failed = false;
    bool aborted = false;
    std::vector<std::string> messages, members;  // members as the worker announced them
    std::string inHand;                          // the worker's output path at its end
};

class HostileArchive : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("kavisfx-hostile-砂場-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(dest());
        std::ofstream(root_ / "sentinel", std::ios::binary) << SentinelText;
        frontEnd_.context = &outcome_;
        frontEnd_.showMessage = [](void* context, const WideChar* text, const WideChar*, MessageIcon) {
            static_cast<Outcome*>(context)->messages.push_back(Utf8Text(text).c_str());
        };
        frontEnd_.workerEnd = [](void* context, bool aborted) { static_cast<Outcome*>(context)->aborted = aborted; };
        frontEnd_.memberName = [](void* context, const WideChar* path) {
            static_cast<Outcome*>(context)->members.push_back(Utf8Text(path).c_str());
        };
        frontEnd_.progress = [](void* context, uint32_t) {
            const auto& members = static_cast<Outcome*>(context)->members;
            if (!abortDuring.empty() && !members.empty() && members.back() == abortDuring)
                keepRunning.store(0);
        };
    }

    void TearDown() override {
        abortDuring.clear();
        keepRunning.store(1);  // an aborted run must not stop the next test's decoding
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
        keepRunning.store(1);
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
            outcome_.inHand = Utf8Text(extractor.currentOutputPath.Text()).c_str();
        }
        fs::current_path(previous);
        InstallFrontEnd(nullptr);
        ExpectNothingOutside();
        return outcome_;
    }

    // `kavisfx ARGUMENTS` over the archive; in the C locale the worker's texts are English.
    int RunTool(const Bytes& archive, const std::string& arguments) {
        EXPECT_TRUE(lha::WriteFile(archivePath(), archive));
        const int status = run::Shell("LC_ALL=C " + Quote(KAVISFX_TOOL) + " " + arguments).status;
        ExpectNothingOutside();
        return status;
    }

    // Regular files, folders and links below `dest`, relative; folders end in '/', links in '>'.
    std::set<std::string> Entries() const {
        std::set<std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(dest())) {
            std::string relative = entry.path().lexically_relative(dest()).generic_string();
            entries.insert(entry.is_symlink() ? relative + ">" : entry.is_directory() ? relative + "/" : relative);
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
    static inline std::string abortDuring;  // clears keepRunning at this member's first progress

private:
    fs::path root_;
    Outcome outcome_;
};

Bytes Archive(const std::vector<Member>& members) {
    lha::ArchiveBuilder builder;
    for (const Member& member : members) builder.Add(member);
    return builder.End().Contents();
}

std::string Le(uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    return out;
}

const fs::path TestsDir = fs::path(KAVISFX_FIXTURES_DIR).parent_path().parent_path();

// Code points of a UTF-8 text; a long text (a path, a message that names one) is shown
// by its head, its length in UTF-16 units and its tail.
std::string Brief(const std::string& text) {
    std::vector<std::string> points;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80 || points.empty()) points.emplace_back(1, static_cast<char>(c));
        else points.back() += static_cast<char>(c);
    if (points.size() <= 64) return text;
    std::string out;
    for (size_t i = 0; i < 24; ++i) out += points[i];
    out += "~" + std::to_string(points.size()) + "~";  // the rows' long texts are of one plane
    for (size_t i = points.size() - 24; i < points.size(); ++i) out += points[i];
    return out;
}

// ---------------------------------------------------------------------------------------
// Golden archives (tests/golden, made once with the archive builder, jlha or a hex edit;
// and the fixture archives), each replayed through the worker and through `kavisfx
// extract` and `test` into a destination that holds `existing` first (files
// "path=content", folders "path/", links "path>target"). The outcome reads "ok" or "failed", each message after
// a '!', then after a '|' every file of the destination as "path=content" (or, unless
// short and printable, "path=size:crc"), every empty folder as "path/" and every link
// as "path>". A member below a link fails, naming it; a member named like a link replaces
// the link itself.

struct Golden {
    const char* file;
    const char* what;
    const char* outcome;
    const char* existing = "";
    const char* options = "";  // of `kavisfx extract`
};

// The worker's two texts of damage, in short: "damaged:NAME" and "archive-damaged".
std::string Shorter(const std::string& message) {
    const std::string file = "ファイル ", archive = Utf8Text(Text(UiText::DamagedArchive)).c_str();
    if (message == archive) return "archive-damaged";
    if (!message.starts_with(file) || !message.ends_with(DamagedTail)) return Brief(message);
    return "damaged:" + Brief(message.substr(file.size(), message.size() - file.size() - DamagedTail.size()));
}

const Golden Goldens[] = {
    {"golden/level2-length-5000.lzh", "level-2 length past the end of the file", "failed !archive-damaged | before=b"},
    {"golden/method-ending-wrong.lzh", "method field not ending in a dash", "failed !Unknown header | before=b"},
    {"golden/method-without-dashes.lzh", "method field without dashes", "failed !Unknown header | before=b"},
    {"fixtures/lha/explzh_723_h1_subdir.lzh", "folders, level 1, a Windows archiver", "ok | subdir/subdir2/hello.txt=12:9778"},
    {"fixtures/lha/explzh_723_h2_lh5.lzh", "-lh5-, level 2, a Windows archiver", "ok | gpl-2=18092:a33a"},
    {"fixtures/lha/generated_lzs_lzs.lzs", "-lzs-", "ok | GPL-2=18092:a33a"},
    {"fixtures/lha/larc333_initial.lzs", "-lz5- copying the whole initial window", "ok | initial.bin=4234:6005"},
    {"fixtures/lha/larc333_lz4.lzs", "-lz4- (stored)", "ok | GPL-2.GZ=6829:b6d5"},
    {"fixtures/lha/larc333_lz5.lzs", "-lz5-", "ok | GPL-2=18092:a33a"},
    {"fixtures/lha/lha213_subdir.lzh", "folders, level 0, MS-DOS", "ok | SUBDIR/SUBDIR2/HELLO.TXT=12:9778"},
    {"fixtures/lha/lha_amiga_122_lh4.lzh", "-lh4-, Amiga", "ok | gpl-2=18092:a33a"},
    {"fixtures/lha/lha_unix114i_h0_lh5.lzh", "-lh5-, level 0", "ok | gpl-2=18092:a33a"},
    {"fixtures/lha/lha_unix114i_h1_lh6.lzh", "-lh6-, level 1", "ok | gpl-2=18092:a33a"},
    {"fixtures/lha/lha_unix114i_h2_lh7.lzh", "-lh7-, level 2", "ok | gpl-2=18092:a33a"},
    {"fixtures/lha/lha_unix114i_h2_subdir.lzh", "folders, level 2, Unix", "ok | subdir/subdir2/hello.txt=12:9778"},
    {"fixtures/lha/lharc113_lh1.lzh", "-lh1-, level 0", "ok | GPL-2=18092:a33a"},
    {"fixtures/lha/regression_abspath.lzh", "an absolute name lands below the destination", "ok | tmp/absolute_path.txt=46:6bc0"},
    {"fixtures/lha/regression_dotdot.lzh", "directory headers holding ..", "ok | evil1.txt=13:3ad2 foo/evil2.txt=18:3d30"},
    {"fixtures/lha/regression_truncated.lzh", "-lh5- member cut short", "failed !damaged:GPL-2 | GPL-2=8192:abfd"},
    {"fixtures/lha/unlha32_lh2.lzh", "-lh2-", "ok | LICENSE.MIT=2853:d157"},
    {"fixtures/lha/unlha32_lh3.lzh", "-lh3-", "ok | LICENSE.MIT=2853:d157"},
    {"golden/bad-crc-middle.lzh", "the middle member's CRC is wrong: it stays, the walk stops", "failed !damaged:two | one=first two=second member"},
    {"golden/bad-crc-middle.lzh", "the same over installed files: the damaged member leaves its file whole", "failed !damaged:two | one=first two=good", "two=good"},
    {"golden/cut-in-header.lzh", "cut inside the second header", "failed !archive-damaged | a=aaa"},
    {"golden/deep-path.lzh", "a path of 1200 units in folders of ten", "ok | abcdefghi/abcdefghi/abcd~1201~hi/abcdefghi/abcdefghi/f=deep"},
    {"golden/dirs-climb.lzh", "directory headers (0x02, 0x45, level 1) and names that climb", "ok | d/n.txt=n l.txt=l m.txt=m outside/ w.txt=w"},
    {"golden/dry-lh5-claims-4gb.lzh", "-lh5- packed size of 4 GB, no end mark", "failed !damaged:packed-past-end | packed-past-end=1000:0000"},
    {"golden/dry-lh5-zeros-crc-0.lzh", "-lh5- zeros running dry with a matching CRC", "failed !damaged:zeros-crc-0 | zeros-crc-0=139264:0000"},
    {"golden/dry-lzs-no-crc.lzh", "-lzs- running dry without a CRC", "failed !damaged:dry-no-crc | dry-no-crc=2048:9d93"},
    {"golden/dry-stored-claims-megabyte.lzh", "stored member claiming a megabyte", "failed !damaged:stored | stored=0123456789"},
    {"golden/dry-stored-longer-than-size.lzh", "stored data longer than its size, CRC of the first four bytes", "failed !damaged:stored-longer | stored-longer=0123"},
    {"golden/dry-stored-no-crc.lzh", "level-0 stored member without CRC claiming more than the file holds", "failed !damaged:stored-no-crc | stored-no-crc=0123456789"},
    {"golden/fit-chain-past-header.lzh", "level-2 chain running past its header", "failed !archive-damaged | before=b"},
    {"golden/fit-ext-past-header.lzh", "level-2 extended header running past the header", "failed !archive-damaged | before=b"},
    {"golden/fit-ext-size-1.lzh", "extended header of size 1", "failed !archive-damaged | before=b"},
    {"golden/fit-ext-size-2.lzh", "extended header of size 2", "failed !archive-damaged | before=b"},
    {"golden/fit-level1-ext-over-buffer.lzh", "level-1 extended header larger than the buffer", "failed !archive-damaged | before=b"},
    {"golden/fit-level1-packed-under-ext.lzh", "level-1 packed size smaller than its extended headers", "failed !archive-damaged | before=b"},
    {"golden/fit-level2-length-10.lzh", "level-2 length shorter than the fixed fields", "failed !Unknown header | before=b"},
    {"golden/fit-level2-over-buffer.lzh", "level-2 header longer than the header buffer", "failed !archive-damaged | before=b"},
    {"golden/folder-at-link.lzh", "a folder member where a link to the folder above stands", "failed !link/ を解凍できません。展開先の中のリンクを経由します。 | file-link> link>", "link>.. file-link>../sentinel"},
    {"golden/folder-far-packed-size.lzh", "folder whose packed size of 2^31 and more runs past the file: the member behind it is lost", "failed !archive-damaged | far/"},
    {"golden/folder-over-file.lzh", "folder member over an existing file", "failed !taken/ を作成できません。同名のファイルが存在します。 | taken=keep", "taken=keep"},
    {"golden/level1-ext-in-packed-size.lzh", "level-1 extended headers counted in the packed size", "ok | dir/one.txt=first data two.txt=second"},
    {"golden/level2-length-low-byte-0.lzh", "level-2 length of 256: a member, not the end mark", "ok | after=a nnnnnnnnnnnnnnnnnnnnnnnn~227~nnnnnnnnnnnnnnnnnnnnnnnn=x"},
    {"golden/level2-long-lengths.lzh", "level-2 lengths of 16 bits, low bytes 2, 20 and 21", "ok | mmmmmmmmmmmmmmmmmmmmmmmm~1000~mmmmmmmmmmmmmmmmmmmmmmmm=abc next=defg nnnnnnnnnnnnnnnnnnnnnnnn~247~nnnnnnnnnnnnnnnnnnnnnnnn=abc oooooooooooooooooooooooo~248~oooooooooooooooooooooooo=abc oooooooooooooooooooooooo~300~oooooooooooooooooooooooo=abc vvvvvvvvvvvvvvvvvvvvvvvv~229~vvvvvvvvvvvvvvvvvvvvvvvv=abc wwwwwwwwwwwwwwwwwwwwwwww~4000~wwwwwwwwwwwwwwwwwwwwwwww=abc"},
    {"golden/lh5-zeros-sound.lzh", "-lh5- block of zeros, complete", "ok | zeros=65536:0000"},
    {"golden/link-below-folder-link.lzh", "a file below a link to the folder outside", "failed !link/evil を解凍できません。展開先の中のリンクを経由します。 | file-link> link>", "link>.. file-link>../sentinel"},
    {"golden/link-file-named-as-folder-link.lzh", "a file named like the folder link replaces the link", "ok | file-link> link=new", "link>.. file-link>../sentinel"},
    {"golden/link-file-named-as-link.lzh", "a file named like the file link replaces the link", "ok | file-link=new link>", "link>.. file-link>../sentinel"},
    {"golden/link-folder-below-link.lzh", "a folder below a link", "failed !link/sub/ を解凍できません。展開先の中のリンクを経由します。 | file-link> link>", "link>.. file-link>../sentinel"},
    {"golden/link-over-outside-file.lzh", "a file through a link onto the sentinel", "failed !link/sentinel を解凍できません。展開先の中のリンクを経由します。 | file-link> link>", "link>.. file-link>../sentinel"},
    {"golden/link-over-outside-file.lzh", "the same, keeping existing files", "failed !link/sentinel を解凍できません。展開先の中のリンクを経由します。 | file-link> link>", "link>.. file-link>../sentinel", "--skip-existing"},
    {"golden/long-path-bad-crc.lzh", "bad CRC: the message names the whole long path", "failed !damaged:folder100/folder101/fold~308~er128/folder129/file.txt | folder100/folder101/fold~308~er128/folder129/file.txt=data"},
    {"golden/name-sanitises-to-nothing.lzh", "a name that sanitises to nothing", "failed !../.. を解凍できません。ファイル名が正しくありません。 |"},
    {"golden/name-too-long.lzh", "one component of 1200 units", "failed !File name too long |"},
    {"golden/names-level0.lzh", "climbing, drive, device and stream names, level 0", "ok | Windows/evil.txt=2 a/b.txt=1 evil.txt=0 file.txt_stream=6 long.txt=3 sub/_NUL=5 trimmed.txt=4"},
    {"golden/names-level1.lzh", "the same names, level 1", "ok | Windows/evil.txt=2 a/b.txt=1 evil.txt=0 file.txt_stream=6 long.txt=3 sub/_NUL=5 trimmed.txt=4"},
    {"golden/names-level2.lzh", "the same names in 0x01 headers", "ok | Windows/evil.txt=2 a/b.txt=1 evil.txt=0 file.txt_stream=6 long.txt=3 sub/_NUL=5 trimmed.txt=4"},
    {"golden/names-windows-refuses.lzh", "names Windows refuses; members that end up on one path are conflicts", "failed !xx_y (xx:y) を作成できません。同名のファイルが存在します。 !dup (dup) を作成できません。同名のファイルが存在します。 !trail (trail.) を作成できません。同名のファイルが存在します。 | _CON=c a_b__c=ab dir/f=f dup=1 last=L star__q_=s trail=t1 what_.txt=w xx_y=first"},
    {"golden/names-utf16.lzh", "the same names in 0x44 headers", "ok | Windows/evil.txt=2 a/b.txt=1 evil.txt=0 file.txt_stream=6 long.txt=3 sub/_NUL=5 trimmed.txt=4"},
    {"golden/os9-length-short-of-chain.lzh", "level-2 length two short of its chain, as OS-9 writes it", "ok | next=n os9.txt=nine"},
    {"golden/over-existing.lzh", "a file is replaced, a folder kept, a folder in a file's way stops the walk", "failed !data を解凍できません。同名のフォルダが存在します。 | data/inner/ keep/old.txt=old note.txt=new", "note.txt=longer-old-note keep/old.txt=old data/inner/"},
    {"golden/size-beyond-any-position.lzh", "0x42 packed size beyond any file position", "failed !archive-damaged | before=b"},
    {"golden/sizes-64-bit.lzh", "sizes taken from a 0x42 header", "ok | sized=sixty-four"},
    {"golden/stored-no-crc-short.lzh", "level-0 stored member without CRC read for its packed size", "failed !damaged:claim | claim=abcd"},
    {"golden/three-levels.lzh", "levels 0, 1 and 2: stored, stored in a folder, -lh2-", "ok | LICENSE.MIT=2853:d157 dir/one.txt=300:aa35 zero.txt=level zero"},
    {"golden/unknown-level2-length-23.lzh", "level-2 length of 23", "failed !Unknown header | before=b"},
    {"golden/unknown-method.lzh", "a method the stub does not know: named, failed, passed over", "failed !docs/odd.bin (-zz9-) を解凍できません。未対応の圧縮形式です。 | docs/a.txt=alpha docs/b.txt=5000:9729 docs/c.txt= empty/"},
    {"golden/unknown-name-past-header.lzh", "level-0 name running past H", "failed !Unknown header | before=b"},
    {"golden/unknown-shape-r19.lzh", "level-0 H - n of 19", "failed !Unknown header | before=b"},
    {"golden/unknown-shape.lzh", "level-0 header of no known shape", "failed !Unknown header | a=aaa"},
};

std::string Content(const std::string& bytes) {
    bool printable = bytes.size() <= 16;
    for (unsigned char c : bytes) printable &= c >= 0x20 && c < 0x7F;
    if (printable) return bytes;
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04x", lha::Crc16(lha::ToBytes(bytes)));
    return std::to_string(bytes.size()) + ":" + crc;
}

TEST_F(HostileArchive, GoldenArchivesEndAsRecorded) {
    for (const Golden& golden : Goldens) {
        SCOPED_TRACE(std::string(golden.file) + ": " + golden.what);
        Bytes archive = lha::ToBytes(ReadAll(TestsDir / golden.file));
        ASSERT_FALSE(archive.empty());
        for (bool tool : {false, true}) {
            ResetDestination();
            std::istringstream existing(golden.existing);
            for (std::string entry; existing >> entry;) {
                const size_t equals = entry.find('='), link = entry.find('>');
                fs::create_directories((dest() / entry.substr(0, std::min(equals, link))).parent_path());
                if (equals != std::string::npos) WriteAll(dest() / entry.substr(0, equals), entry.substr(equals + 1));
                if (link != std::string::npos) fs::create_symlink(entry.substr(link + 1), dest() / entry.substr(0, link));
            }
            std::string outcome, expected = golden.outcome;
            if (tool) {
                const int status = RunTool(archive, "extract " + Quote(archivePath()) + " -C " + Quote(dest()) + " " + golden.options);
                // `test` writes nothing: names, entries and links in the way cannot fail it.
                bool writing = false;
                for (const char* text : {"ファイル名が正しくありません", "同名の", "リンクを経由", "File name too long"})
                    writing |= expected.find(text) != std::string::npos;
                EXPECT_EQ(RunTool(archive, "test " + Quote(archivePath())), writing ? 0 : status) << "test";
                outcome = status == 0 ? "ok" : status == 1 ? "failed" : std::to_string(status);
                expected = expected.substr(0, expected.find(' ')) + expected.substr(expected.find(" |"));
            } else {
                Outcome result = Extract(archive);
                outcome = result.aborted ? "aborted" : result.failed ? "failed" : "ok";
                for (const std::string& message : result.messages) outcome += " !" + Shorter(message);
            }
            outcome += " |";
            const std::set<std::string> entries = Entries();
            for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
                auto next = std::next(entry);
                if (entry->back() == '>') outcome += " " + *entry;
                else if (entry->back() != '/') outcome += " " + Brief(*entry) + "=" + Content(ReadAll(dest() / *entry));
                else if (next == entries.end() || !next->starts_with(*entry)) outcome += " " + Brief(*entry);
            }
            EXPECT_EQ(outcome, expected) << (tool ? "kavisfx extract" : "worker");
        }
    }
}

// Cut at every byte, an archive of three members (levels 0, 1 and 2; stored, stored and
// -lh2-) never yields a file that the run calls good but that differs from the whole
// archive's: each file is complete, or the run named it damaged and failed.
TEST_F(HostileArchive, EveryTruncationPointEndsSoundly) {
    Bytes archive = lha::ToBytes(ReadAll(TestsDir / "golden/three-levels.lzh"));
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

// The worker keeps the folders it reached open from member to member, near the top and
// the last one however deep: a folder swapped for a link while the run goes on must not
// lead the next member through the link.
TEST_F(HostileArchive, FolderSwappedForALinkMidRunIsNotFollowed) {
    static fs::path swapIn, outside;
    static std::string second;
    outside = dest().parent_path();
    frontEnd_.memberName = [](void*, const WideChar* path) {
        if (std::string(Utf8Text(path).c_str()) != second) return;
        fs::rename(swapIn / "a", swapIn / "moved");
        fs::create_directory_symlink(outside, swapIn / "a");
    };
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "d/";
    for (const std::string& folder : {std::string("a/"), deep + "a/"}) {
        SCOPED_TRACE(folder);
        ResetDestination();
        swapIn = (dest() / folder).parent_path().parent_path();
        second = folder + "second";
        Outcome outcome = Extract(Archive({Member::Stored(folder + "first", "1"), Member::Stored(second, "2")}));
        EXPECT_FALSE(outcome.failed);
        EXPECT_EQ(ReadAll(swapIn / "moved" / "second"), "2");
    }
    frontEnd_.memberName = nullptr;
}

// --skip-existing and --keep-newer look at an existing file through the same walk as the
// write: one whose path is longer than the system takes in one call is kept, not taken
// for absent and replaced.
TEST_F(HostileArchive, ExistingFileBeyondPathMaxIsKept) {
    std::u16string folder;  // 25 folders of 80 three-byte UTF-8 characters: over 6000 bytes
    for (int i = 0; i < 25; ++i) folder += std::u16string(80, u'\u6df1') + u'/';
    auto member = [&](const std::string& content) {
        Member file = Member::Stored("f", content);
        file.ext.push_back(ExtendedHeader::Wide(0x45, folder));
        return Archive({file});
    };
    EXPECT_FALSE(Extract(member("old")).failed);
    ASSERT_TRUE(lha::WriteFile(archivePath(), member("new")));
    for (const char* option : {"--skip-existing", "--keep-newer"}) {
        run::Result result = run::Tool("extract " + Quote(archivePath()) + " -C " + Quote(dest()) + " " + option);
        EXPECT_EQ(result.status, 0);
        EXPECT_NE(result.out.find("1 existing file kept"), std::string::npos) << option << result.all();
    }
}

// Races on the destination, run for a bounded time: another process swaps entries while
// the worker writes. `swap` runs on a thread until the runs are done.
template <typename Swap>
void RaceAgainst(Swap swap, const std::function<bool()>& run) {
    std::atomic<bool> done{false};
    std::thread racer([&] { while (!done) swap(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (int i = 0; i < 200 && std::chrono::steady_clock::now() < deadline && run(); ++i) {}
    done = true;
    racer.join();
}

// A hard link planted at a member's name, between the removal of what stood there and the
// creation of the file, made the worker write into the file outside. Each file is now made
// under a new name and renamed over whatever stands at its own.
TEST_F(HostileArchive, HardLinkPlantedAtAMemberIsReplacedNotWritten) {
    const fs::path sentinel = dest().parent_path() / "sentinel", victim = dest() / "victim";
    const Bytes archive = Archive({Member::Stored("victim", "member"), Member::Stored("victim2", "x")});
    RaceAgainst([&] { ::link(sentinel.c_str(), victim.c_str()); },
                [&] { Extract(archive); return ReadAll(sentinel) == SentinelText; });
    EXPECT_EQ(ReadAll(sentinel), SentinelText);
}

// A folder swapped for a hard link to a file of mode 0600 (the sentinel) while the
// folders' modes are set after the run: the file's mode must not change.
TEST_F(HostileArchive, FolderSwappedForAFileKeepsTheFileMode) {
    const fs::path sentinel = dest().parent_path() / "sentinel", folder = dest() / "bin", aside = dest() / "aside";
    const fs::perms secret = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(sentinel, secret);
    const Bytes archive = Archive({Member::Folder("bin").Ext(0x50, Le(040777, 2))});
    RaceAgainst([&] {
        if (::rename(folder.c_str(), aside.c_str()) == 0 && ::link(sentinel.c_str(), folder.c_str()) == 0) {
            ::unlink(folder.c_str());
            ::rename(aside.c_str(), folder.c_str());
        }
    }, [&] { Extract(archive); return fs::status(sentinel).permissions() == secret; });
    EXPECT_EQ(fs::status(sentinel).permissions(), secret);
}

// A member that would replace the archive being read is refused; the members after it
// are still extracted.
TEST_F(HostileArchive, MemberOverTheArchiveIsRefused) {
    const Bytes archive = Archive({Member::Stored("archive.lzh", "member"), Member::Stored("dest/after", "a")});
    EXPECT_EQ(RunTool(archive, "extract " + Quote(archivePath()) + " -C " + Quote(dest().parent_path())), 1);
    EXPECT_EQ(lha::ToBytes(ReadAll(archivePath())), archive);
    EXPECT_EQ(ReadAll(dest() / "after"), "a");
}

// A file member on the path of a folder the run made itself, as a folder member or on the
// way to a file, stops the walk as one over a folder that stood there before does.
TEST_F(HostileArchive, FileOverAFolderOfThisRunStopsTheWalk) {
    for (const Member& sub : {Member::Folder("made/sub"), Member::Stored("made/sub/deeper/f", "f")}) {
        ResetDestination();
        Outcome outcome = Extract(Archive({Member::Folder("made"), sub, Member::Stored("made/other", "o"),
                                           Member::Stored("made/sub", "x"), Member::Stored("after", "a")}));
        EXPECT_TRUE(outcome.failed);
        EXPECT_EQ(outcome.messages, std::vector<std::string>{"made/sub を解凍できません。同名のフォルダが存在します。"});
        EXPECT_TRUE(fs::is_directory(dest() / "made/sub"));
        EXPECT_EQ(ReadAll(dest() / "made/other"), "o");
        EXPECT_FALSE(fs::exists(dest() / "after"));
    }
}

// ---------------------------------------------------------------------------------------
// The worker's own duties: an abort, what other archivers store beside the data, the
// pre-scan of the sizes.

TEST_F(HostileArchive, AbortDeletesTheMemberInHandAndKeepsEarlierOnes) {
    abortDuring = "big";
    WriteAll(dest() / "big", "installed");  // the file the member would replace stays whole
    Outcome outcome = Extract(Archive({Member::Stored("small", "kept"), Member::Stored("big", std::string(300000, 'b')),
                                       Member::Folder("later"), Member::Stored("later/last", "never")}));
    EXPECT_TRUE(outcome.aborted);
    EXPECT_TRUE(outcome.failed);
    EXPECT_EQ(outcome.members, (std::vector<std::string>{"small", "big"}));
    EXPECT_TRUE(outcome.inHand.starts_with(".kavisfx-")) << outcome.inHand;  // the temporary, gone
    EXPECT_EQ(Entries(), (std::set<std::string>{"big", "small"}));
    EXPECT_EQ(ReadAll(dest() / "big"), "installed");
    ResetDestination();
    // Aborted between members: no file is in hand, and nothing after the abort is touched,
    // not even a file a later member would replace.
    frontEnd_.memberName = [](void*, const WideChar* path) { if (*path == u'l') keepRunning.store(0); };
    outcome = Extract(Archive({Member::Stored("small", "kept"), Member::Folder("later"), Member::Stored("small", "new")}));
    EXPECT_TRUE(outcome.aborted);
    EXPECT_EQ(outcome.inHand, "");
    EXPECT_EQ(Entries(), std::set<std::string>{"small"});
}

// The exact Unix time, the permission bits, folders written as empty stored members; and
// stamps that name no time.
TEST_F(HostileArchive, RestoresWhatOtherArchiversStore) {
    Member tool = Member::Stored("bin/tool", "#!", 1).Ext(0x54, Le(1'700'000'001, 4)).Ext(0x50, Le(0104755, 2));
    Member amigaFolder = Member::Stored("amiga", "", 0);
    amigaFolder.attribute = 0x10;
    Member noTime = Member::Stored("amiga/none", "n", 0);
    noTime.time = 0;
    Member folder = Member::Folder("bin", 1).Ext(0x54, Le(1'600'000'000, 4)).Ext(0x50, Le(040555, 2));
    // OS-9 LHA: a version byte, the Unix time and mode behind the OS id of a level-0 header.
    Member os9 = Member::Stored("os9", "9", 0);
    os9.hasOsId = true;
    os9.osId = '9';
    os9.baseExtra = lha::ToBytes("\x01" + Le(1'262'304'000, 4) + Le(0100711, 2));
    const time_t before = ::time(nullptr);
    EXPECT_FALSE(Extract(Archive({folder, tool, amigaFolder, noTime, Member::Stored("level2", "2"), os9})).failed);
    struct stat info = {};
    ASSERT_EQ(::stat((dest() / "bin/tool").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1'700'000'001);
    EXPECT_EQ(info.st_mode & 07777, 0755u);  // never set-uid
    ASSERT_EQ(::stat((dest() / "bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1'600'000'000);  // after its file was written
    EXPECT_EQ(info.st_mode & 07777, 0755u);   // the owner keeps full access
    EXPECT_TRUE(fs::is_directory(dest() / "amiga"));
    ASSERT_EQ(::stat((dest() / "amiga/none").c_str(), &info), 0);
    EXPECT_GE(info.st_mtime, before);
    ASSERT_EQ(::stat((dest() / "level2").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 946684800);  // the header's time
    ASSERT_EQ(::stat((dest() / "os9").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1'262'304'000);
    EXPECT_EQ(info.st_mode & 07777, 0711u);
}

// The pre-scan jumps from header to header by their lengths alone: long level-0 names
// (byte 0 of 128 and more), level-1 extended headers counted in the packed size, and
// level-2 headers longer than 255 bytes, whose length needs both bytes 0 and 1.
TEST_F(HostileArchive, PreScanSumsEveryHeaderShapeAndKeepsThePosition) {
    Member last = Member::Stored("last", std::string(8000, 'l'));
    Bytes bytes = Archive({Member::Stored(std::string(200, 'n'), std::string(1000, 'a'), 0),
                           Member::Stored("one", std::string(2000, 'b'), 1).Ext(0x3F, std::string(100, 'e')),
                           Member::Stored("two", std::string(4000, 'c')).Ext(0x3F, std::string(600, 'c')), last});
    // Then cut inside the fixed fields of the last header: the members before it still count.
    const size_t cut = bytes.size() - 1 - 8000 - lha::BuildHeader(last).size() + 15;
    for (const auto& [archive, sum] : {std::pair{bytes, 15000u}, {Bytes(bytes.begin(), bytes.begin() + cut), 7000u}}) {
        ASSERT_TRUE(lha::WriteFile(archivePath(), archive));
        Extractor extractor;
        extractor.packageFile = new FileHandle;
        std::u16string wide = archivePath().u16string();
        ASSERT_TRUE(extractor.packageFile->Open(wide.c_str(), FileAccess::Read, FileDisposition::OpenExisting));
        EXPECT_EQ(SumOriginalSizes(extractor), sum);
        EXPECT_EQ(extractor.packageFile->Tell(), 0u);
    }
}

}  // namespace
