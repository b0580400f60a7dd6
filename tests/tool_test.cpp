// The host tool as a user runs it (the fixture archives are replayed by hostile_archive_test):
// listing, usage and failures, texts in the user's language,
// existing files, failed writes under a file-size limit, Ctrl-C during a large member, peak
// memory whatever the packed size of a member,
// and progress lines on terminals of a given width.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <pty.h>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "support/file_bytes.h"
#include "support/archive_builder.h"
#include "support/run_tool.h"

namespace fs = std::filesystem;

namespace {

const std::string Tool = KAVISFX_TOOL;
const fs::path Fixtures = KAVISFX_FIXTURES_DIR, Golden = Fixtures.parent_path().parent_path() / "golden";

using run::Quote;
using run::Result;
using run::Scratch;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    return parts;
}

// The columns scripts read: method, packed and original size, CRC, level, time, name as
// stored (control characters, C1 ones too, as '?'). Members of 4 GiB and more carry their
// sizes in a 0x42 header: the walk must step over all of a member's data to the next header
// (a sparse file stands in for the gigabytes).
TEST(ToolList, TsvColumnsAndSixtyFourBitSizes) {
    Scratch scratch;
    const uint64_t size = (uint64_t{1} << 32) + 3;
    std::string sizes;
    for (int i = 0; i < 16; ++i) sizes += static_cast<char>((i < 8 ? size : size + 5) >> (8 * (i % 8)));
    lha::Member big = lha::Member::Stored("big", "", 2).Ext(0x42, sizes);
    lha::Bytes head = lha::BuildHeader(big);
    lha::Bytes tail = lha::ArchiveBuilder().Add(lha::Member::Stored("next\x1b\x9b", "n")).End().Contents();
    {
        std::ofstream out(scratch / "large.lzh", std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
        out.seekp(static_cast<std::streamoff>(head.size() + size));
        out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    }
    Result listed = run::Tool("list --tsv --codepage ISO-8859-1 " + Quote(scratch / "large.lzh"));
    EXPECT_EQ(listed.status, 0) << listed.err;
    std::vector<std::string> lines = Split(listed.out, '\n');
    ASSERT_EQ(lines.size(), 2u) << listed.out;
    EXPECT_EQ(Split(lines[0], '\t')[1], "4294967299");  // packed: the step to the next header
    EXPECT_EQ(Split(lines[0], '\t')[2], "4294967304");  // original
    EXPECT_EQ(Split(lines[1], '\t')[6], "next\\x1b\\u009b");
    listed = run::Tool("list --tsv " + Quote(Fixtures / "unlha32_lh2.lzh"));
    EXPECT_EQ(listed.out.substr(0, 6), "-lh2-\t");
    EXPECT_NE(listed.out.find("\t2853\td157\t2\t"), std::string::npos) << listed.out;
    EXPECT_TRUE(listed.out.ends_with("\tLICENSE.MIT\n")) << listed.out;
}

// Times are local, an MS-DOS stamp (levels 0 and 1) shown as it is stored, as other
// archivers show it; --utc gives UTC. Level-0 names show '/'; names are escaped, so that
// neither a control character nor a bidirectional override reaches the terminal.
TEST(ToolList, LocalTimesSlashesAndEscapedNames) {
    Scratch scratch;
    ASSERT_TRUE(lha::ArchiveBuilder().Add(lha::Member::Stored("invoice\xe2\x80\xaegpj.exe\x1b[2J", "x")).End()
                    .WriteTo((scratch / "names.lzh").string()));
    const struct {
        std::string arguments, shows;
    } rows[] = {
        {"list " + Quote(Fixtures / "lha213_subdir.lzh"), "2010-01-01 00:00:00  SUBDIR/SUBDIR2/HELLO.TXT\n"},
        {"list --utc " + Quote(Fixtures / "lha213_subdir.lzh"), "2009-12-31 15:00:00"},
        {"list " + Quote(Fixtures / "lha_unix114i_h2_lh7.lzh"), "2010-01-01 09:00:00  gpl-2\n"},
        {"list " + Quote(Golden / "names-level0.lzh"), "  C:/Windows/evil.txt\n"},
        {"list --codepage UTF-8 " + Quote(scratch / "names.lzh"), "  invoice\\u202egpj.exe\\x1b[2J\n"},
    };
    for (const auto& row : rows) {
        Result listed = run::Shell("TZ=Asia/Tokyo " + Quote(Tool) + " " + row.arguments);
        EXPECT_EQ(listed.status, 0) << row.arguments;
        EXPECT_NE(listed.out.find(row.shows), std::string::npos) << row.arguments << "\n" << listed.out;
    }
}

// Members chosen by stored path or glob: a folder stands for what it holds, a chosen file
// gets the folders it needs, a pattern that matches nothing is named (exit 1), and
// --stdout gives the chosen files' data and nothing else.
TEST(ToolChoose, MembersByPathOrPattern) {
    Scratch scratch;
    WriteAll(scratch / "in/a/x.txt", "x");
    WriteAll(scratch / "in/a/b/y.txt", "y");
    WriteAll(scratch / "in/z.dat", "z");
    const std::string archive = Quote(scratch / "t.lzh") + " ", out = " -C " + Quote(scratch / "out") + " ";
    ASSERT_EQ(run::Tool("pack " + archive + "--archive-only " + Quote(scratch / "in/")).status, 0);
    const struct {
        std::string arguments;
        int status;
        std::set<std::string> written;
        std::string says;
    } rows[] = {
        {"extract" + out + archive + "a/b/y.txt", 0, {"a/b/y.txt"}, "1 file, 0 folders"},
        {"extract" + out + archive + "a/", 0, {"a/x.txt", "a/b/y.txt"}, "2 files, 2 folders"},
        {"extract" + out + archive + "'*.dat' nothing", 1, {"z.dat"}, "no member matches 'nothing'"},
        {"test " + archive + "'a/*' z.dat", 0, {}, "OK       z.dat\n3 files, 1 folder"},
        {"list " + archive + "'?/x*'", 0, {}, "a/x.txt\n1 member"},
        {"list " + archive + "q", 1, {}, "no member matches 'q'"},
    };
    for (const auto& row : rows) {
        fs::remove_all(scratch / "out");
        Result result = run::Tool(row.arguments);
        EXPECT_EQ(result.status, row.status) << row.arguments << "\n" << result.all();
        EXPECT_NE(result.all().find(row.says), std::string::npos) << row.arguments << "\n" << result.all();
        std::set<std::string> written;
        if (fs::exists(scratch / "out"))
            for (const auto& item : fs::recursive_directory_iterator(scratch / "out"))
                if (item.is_regular_file()) written.insert(fs::relative(item.path(), scratch / "out").string());
        EXPECT_EQ(written, row.written) << row.arguments;
    }
    // A folder that is not chosen keeps its time, though the archive holds it.
    fs::remove_all(scratch / "out");
    fs::create_directories(scratch / "out/a");
    const auto before = fs::last_write_time(scratch / "out/a") - std::chrono::hours(24 * 400);
    fs::last_write_time(scratch / "out/a", before);
    ASSERT_EQ(run::Tool("extract" + out + archive + "z.dat").status, 0);
    EXPECT_EQ(fs::last_write_time(scratch / "out/a"), before);
    Result piped = run::Tool("extract --stdout " + archive + "'*.txt' z.dat");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, "yxz");
    EXPECT_NE(piped.err.find("3 files, 0 folders, 3 bytes: all OK"), std::string::npos) << piped.err;
}

TEST(ToolUsage, FailuresNameTheFileAndTheCause) {
    Scratch scratch;
    for (const char* command : {"list", "info", "test", "extract", "pack out.lzh --archive-only"}) {
        Result missing = run::Tool(std::string(command) + " " + Quote(scratch / "nothing.lzh"));
        EXPECT_EQ(missing.status, 2) << command;
        EXPECT_NE(missing.err.find("nothing.lzh: No such file or directory"), std::string::npos) << missing.err;
    }
    Result version = run::Tool("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kavisfx 0.", 0), 0u) << version.out;

    EXPECT_EQ(run::Tool("list --codepage NO-SUCH-CODEPAGE x.lzh").status, 2);
    // Mistyped words get the nearest one; options that ask for opposite things are refused.
    for (const auto& [arguments, says] : std::map<std::string, std::string>{
             {"lsit x.lzh", "unknown command 'lsit' (did you mean 'list'?)"},
             {"extract --keep-newr x.lzh", "(did you mean '--keep-newer'?)"},
             {"extract --skip-existing --keep-newer x.lzh", "--skip-existing and --keep-newer contradict"},
             {"extract -c -C out x.lzh", "--stdout writes no files"},
             {"list --stdout x.lzh", "unknown option '--stdout'"}}) {
        Result refused = run::Tool(arguments);
        EXPECT_EQ(refused.status, 2) << arguments;
        EXPECT_NE(refused.err.find(says), std::string::npos) << arguments << "\n" << refused.err;
    }
    for (const char* command : {"list", "info", "test", "extract"}) {
        Result help = run::Tool(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("usage: kavisfx"), std::string::npos) << command;
    }

    // What is no archive (text, an empty file, a Windows program without the package
    // marker) is said so, exit 2, and nothing is made; info wants the marker too.
    WriteAll(scratch / "passwd", "root:x:0:0:root:/root:/bin/bash\n");
    WriteAll(scratch / "empty", "");
    std::string program = "MZ" + std::string(40000, '\x90');
    WriteAll(scratch / "program.exe", program);
    for (const char* file : {"passwd", "empty", "program.exe"}) {
        for (const char* command : {"list", "test", "extract -C made"}) {
            Result notArchive = run::Tool(std::string(command) + " " + Quote(scratch / file));
            EXPECT_EQ(notArchive.status, 2) << command << " " << file;
            EXPECT_NE(notArchive.err.find("not an LHA archive or package"), std::string::npos) << notArchive.err;
        }
        EXPECT_FALSE(fs::exists(scratch / "made"));
        Result info = run::Tool("info " + Quote(scratch / file));
        EXPECT_EQ(info.status, 2) << file;
        EXPECT_NE(info.err.find("not a package"), std::string::npos) << info.err;
    }

    // A header of no known shape or cut short is damage (exit 1).
    Result listed = run::Tool("list --tsv " + Quote(Golden / "unknown-shape.lzh"));
    EXPECT_EQ(listed.status, 1);
    EXPECT_NE(listed.err.find("unknown-shape.lzh: Unknown header"), std::string::npos) << listed.err;
    EXPECT_EQ(Split(listed.out, '\n').size(), 1u) << listed.out;

    for (const char* command : {"list", "test"}) {
        Result damaged = run::Tool(std::string(command) + " " + Quote(Golden / "cut-in-header.lzh"));
        EXPECT_EQ(damaged.status, 1) << command;
        EXPECT_NE(damaged.err.find("cut-in-header.lzh: damaged archive"), std::string::npos) << damaged.err;
    }
}

// The worker's texts are Japanese only where the locale asks for it: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty decides. The tool's own lines stay English.
TEST(ToolTexts, FollowTheLocale) {
    Scratch scratch;
    const struct {
        const char* environment;
        bool japanese;
    } rows[] = {
        {"", false},
        {"LANG=ja_JP.UTF-8", true},
        {"LANG=C.UTF-8", false},
        {"LANG=C LC_MESSAGES=ja_JP.UTF-8", true},
        {"LANG=ja_JP.UTF-8 LC_MESSAGES=en_US.UTF-8", false},
        {"LC_ALL=C LC_MESSAGES=ja_JP.UTF-8", false},
        {"LC_ALL= LC_MESSAGES= LANG=ja", true},
    };
    for (const auto& row : rows) {
        Result result = run::Shell("env -u LC_ALL -u LC_MESSAGES -u LANG " + std::string(row.environment) + " " +
                                  Quote(Tool) + " extract " + Quote(Fixtures / "regression_truncated.lzh") + " -C " + Quote(scratch / "out"));
        EXPECT_EQ(result.status, 1) << row.environment;
        const char* expected = row.japanese ? "ファイル GPL-2 が壊れています。" : "The file GPL-2 is damaged.";
        EXPECT_NE(result.err.find(expected), std::string::npos) << row.environment << "\n" << result.err;
        EXPECT_NE(result.out.find(": 1 failed"), std::string::npos) << row.environment << "\n" << result.out;
    }
}

// An existing file is replaced (the default, as the stub does), always kept, or kept when
// it is as new as the member or newer; each kept file is listed and counted.
TEST(ToolExtract, ExistingFilesAreReplacedOrKeptAsAsked) {
    Scratch scratch;
    const int64_t memberTime = 1000000000;
    lha::ArchiveBuilder archive;
    for (const char* name : {"older", "same", "newer", "fresh"}) {
        lha::Member member = lha::Member::Stored(name, "member");
        member.time = static_cast<uint32_t>(memberTime);
        archive.Add(member);
    }
    ASSERT_TRUE(archive.End().WriteTo((scratch / "a.lzh").string()));
    const std::pair<const char*, int64_t> existing[] = {
        {"older", memberTime - 1}, {"same", memberTime}, {"newer", memberTime + 1}};
    const struct {
        const char* option;
        std::set<std::string> kept;
    } rows[] = {
        {"", {}},
        {"--overwrite", {}},
        {"--skip-existing", {"older", "same", "newer"}},
        {"--keep-newer", {"same", "newer"}},
    };
    for (const auto& row : rows) {
        fs::path out = scratch / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        for (const auto& [name, time] : existing) {
            WriteAll(out / name, "existing");
            struct utimbuf times = {time, time};
            ASSERT_EQ(::utime((out / name).c_str(), &times), 0);
        }
        Result result =
            run::Tool("extract " + std::string(row.option) + " -C " + Quote(out) + " " + Quote(scratch / "a.lzh"));
        ASSERT_EQ(result.status, 0) << row.option << "\n" << result.err;
        for (const char* name : {"older", "same", "newer", "fresh"}) {
            const bool kept = row.kept.count(name);
            EXPECT_EQ(ReadAll(out / name), kept ? "existing" : "member") << row.option << " " << name;
            EXPECT_EQ(result.out.find("kept     " + std::string(name) + ":") != std::string::npos, kept)
                << row.option << "\n" << result.out;
        }
        const size_t written = 4 - row.kept.size();
        std::string summary = std::to_string(written) + (written == 1 ? " file" : " files") + ", 0 folders, " +
                              std::to_string(6 * written) + " bytes: all OK";
        if (!row.kept.empty()) summary += "; " + std::to_string(row.kept.size()) + " existing files kept";
        EXPECT_NE(result.out.find(summary + "\n"), std::string::npos) << result.out;
    }
}

std::string RandomBytes(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    return out;
}

// A member that crosses the file-size limit fails its write: the system's text names it,
// the short file is removed, the run stops with status 1, and every file left is whole.
// The same three texts -lh5- (written by jlha) and stored.
TEST(ToolFailedWrite, MemberPastTheFileSizeLimitFails) {
    Scratch scratch;
    const fs::path source = scratch / "src";
    ASSERT_EQ(run::Tool("extract " + Quote(Golden / "texts-lh5.lzh") + " -C " + Quote(source)).status, 0);
    ASSERT_EQ(run::Tool("pack " + Quote(scratch / "stored.lzh") + " --archive-only --method lh0 " +
                        Quote(source / "first.txt") + " " + Quote(source / "second.txt") + " " + Quote(source / "third.txt"))
                  .status, 0);
    for (const fs::path& archive : {Golden / "texts-lh5.lzh", scratch / "stored.lzh"}) {
        SCOPED_TRACE(archive);
        const fs::path out = scratch / "out" / archive.filename();
        Result result = run::Shell("ulimit -f 100; exec " + Quote(Tool) + " extract " + Quote(archive) + " -C " + Quote(out));
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.err.find("second.txt: File too large"), std::string::npos) << result.err;
        EXPECT_EQ(ReadAll(out / "first.txt"), ReadAll(source / "first.txt"));
        EXPECT_FALSE(fs::exists(out / "second.txt"));
        EXPECT_FALSE(fs::exists(out / "third.txt"));
    }
}

// Ctrl-C while the second member is decoded: that member is deleted, the first stays,
// and the status is 130.
TEST(ToolAbort, InterruptDeletesTheMemberInHand) {
    Scratch scratch;  // 32 MB of zeros behind a small first member, by jlha
    fs::path out = scratch / "out";
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::freopen("/dev/null", "w", stderr);
        ::execl(Tool.c_str(), Tool.c_str(), "extract", (Golden / "zeros-32mb-lh5.lzh").c_str(), "-C", out.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The member in hand is written under a temporary name beside first.txt.
    auto entries = [&] {
        std::set<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(out, error)) names.insert(entry.path().filename().string());
        return names;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (entries().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(entries(), std::set<std::string>{"first.txt"});
    EXPECT_EQ(ReadAll(out / "first.txt"), "first member\n");
}

// A member's packed data passes through a buffer of fixed size: the peak memory of `test`
// does not grow with the packed size of a member, compressed or stored. The -lh5- stream
// ends long before its packed data does; a sparse file holds the zeros behind it.
TEST(ToolMemory, PeakDoesNotGrowWithTheMembersPackedSize) {
    Scratch scratch;
    lha::Member packed = lha::Member::Stored("packed", ReadAll(Golden / "streams/lh5-blocks-3.bin"));
    packed.method = "-lh5-";
    packed.originalSize = 588867;
    packed.crc = 0x695f;
    lha::Member stored = lha::Member::Stored("stored", std::string(1, '\0'));  // zeros have CRC 0
    auto peakKilobytes = [&](uint32_t tail) {
        packed.packedSizeOverride = static_cast<uint32_t>(packed.data.size()) + tail;
        stored.originalSize = tail + 1;
        stored.packedSizeOverride = tail + 1;
        std::ofstream out(scratch / "archive.lzh", std::ios::binary | std::ios::trunc);
        for (const lha::Member& member : {packed, stored}) {
            lha::Bytes bytes = lha::BuildHeader(member);
            bytes.insert(bytes.end(), member.data.begin(), member.data.end());
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            out.seekp(tail, std::ios::cur);
        }
        out.put('\0');
        out.close();
        struct rusage usage = {};
        int status = -1;
        if (pid_t child = ::fork(); child == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::execl(Tool.c_str(), Tool.c_str(), "test", (scratch / "archive.lzh").c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        } else {
            ::wait4(child, &status, 0, &usage);
        }
        EXPECT_EQ(status, 0) << "tail " << tail;
        return usage.ru_maxrss;
    };
    const long small = peakKilobytes(0), large = peakKilobytes(48u << 20);
    EXPECT_LT(large - small, 8 * 1024) << small << " KB for the small archive, " << large << " KB for the large one";
}

// Runs the tool on a terminal `columns` wide; once its output holds `interruptAt` (when
// given) it gets SIGINT, as from Ctrl-C. `out` is all the terminal showed.
Result RunOnTerminal(const std::vector<std::string>& arguments, unsigned short columns,
                     const std::string& interruptAt = {}) {
    struct winsize size = {};
    size.ws_row = 24;
    size.ws_col = columns;
    int terminal = -1;
    pid_t child = ::forkpty(&terminal, nullptr, nullptr, &size);
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(Tool.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(Tool.c_str(), argv.data());
        ::_exit(127);
    }
    Result result;
    if (child < 0) return result;
    bool interrupted = interruptAt.empty();
    char buffer[4096];
    for (ssize_t got; (got = ::read(terminal, buffer, sizeof buffer)) > 0;) {
        result.out.append(buffer, static_cast<size_t>(got));
        if (!interrupted && result.out.find(interruptAt) != std::string::npos) interrupted = ::kill(child, SIGINT) == 0;
    }
    ::close(terminal);
    int status = 0;
    ::waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// Columns of UTF-8 text made of ASCII, CJK characters and emoji (the only kinds used here).
size_t Columns(const std::string& text) {
    size_t columns = 0;
    for (unsigned char c : text) columns += c < 0x80 ? 1 : c >= 0xE0 ? 2 : 0;
    return columns;
}

// Each drawing of the progress line: what follows "\r\033[K" up to the next line end.
std::vector<std::string> ProgressLines(const std::string& terminal) {
    std::vector<std::string> lines;
    for (size_t at = terminal.find("\r\033[K"); at != std::string::npos; at = terminal.find("\r\033[K", at + 1)) {
        std::string line = terminal.substr(at + 4, terminal.find_first_of("\r\n", at + 4) - at - 4);
        if (!line.empty() && line.back() == '%') lines.push_back(line);
    }
    return lines;
}

// Long names are cut by display width to the terminal's, keeping the tail; pack shows
// the member in hand, and Ctrl-C clears its line before the last word.
TEST(ToolTerminal, ProgressLinesFitTheTerminalAndEndCleanly) {
    Scratch scratch;
    std::string longName = "日本語";
    for (int i = 0; i < 20; ++i) longName += "長い";
    longName += "😀末尾.txt";
    fs::create_directories(scratch / "in");
    WriteAll(scratch / "in" / longName, RandomBytes(5 << 20, 13));
    const std::string archive = (scratch / "long.lzh").string(), package = (scratch / "p.lzh").string();
    ASSERT_EQ(run::Tool("pack " + Quote(archive) + " --archive-only --method lh0 " + Quote(scratch / "in")).status,
              0);
    for (unsigned short columns : {50, 80}) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"test", archive}, {"extract", archive, "-C", (scratch / "out").string()}}) {
            Result result = RunOnTerminal(arguments, columns);
            ASSERT_EQ(result.status, 0) << result.out;
            std::vector<std::string> lines = ProgressLines(result.out);
            ASSERT_FALSE(lines.empty()) << result.out;
            for (const std::string& line : lines) {
                EXPECT_EQ(Columns(line), columns - 1u) << line;
                if (line.find("末尾") != std::string::npos) {
                    EXPECT_EQ(line.rfind("...", 0), 0u) << line;
                }
            }
            EXPECT_NE(lines.back().find("😀末尾.txt"), std::string::npos) << lines.back();
        }
    }

    Result packed = RunOnTerminal({"pack", package, "--archive-only", (scratch / "in").string()}, 80, "末尾.txt ");
    EXPECT_EQ(packed.status, 130) << packed.out;
    std::vector<std::string> lines = ProgressLines(packed.out);
    ASSERT_FALSE(lines.empty()) << packed.out;
    EXPECT_NE(lines.back().find("末尾.txt"), std::string::npos) << lines.back();
    EXPECT_NE(packed.out.find("%\r\033[Kkavisfx pack: interrupted"), std::string::npos) << packed.out;
    EXPECT_FALSE(fs::exists(package));
    for (const auto& entry : fs::directory_iterator(scratch.path()))
        EXPECT_EQ(entry.path().filename().string().find(".kavisfx-"), std::string::npos) << entry.path();
}

}  // namespace
