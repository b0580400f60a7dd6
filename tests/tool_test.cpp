// The host tool as a user runs it: the fixture archives extracted and tested against
// their expected contents, round trips through archives that jlha writes (header levels,
// methods, sizes up to tens of megabytes), packages, failed writes under a file-size
// limit, and Ctrl-C during a large member.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/file_bytes.h"
#include "support/archive_builder.h"
#include "support/sha256.h"

namespace fs = std::filesystem;

namespace {

const std::string Tool = KAVISFX_TOOL;
const fs::path Fixtures = KAVISFX_FIXTURES_DIR;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A fresh folder per test, removed afterwards.
class Scratch {
public:
    explicit Scratch(const std::string& name)
        : path_(fs::temp_directory_path() / ("kavisfx-tool-" + std::to_string(::getpid()) + "-" + name)) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Scratch() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& relative) const { return path_ / relative; }

private:
    fs::path path_;
};

// Runs a shell command line with standard output and error caught in files.
Result Shell(const std::string& command, const fs::path& scratch) {
    fs::path out = scratch / ".stdout", err = scratch / ".stderr";
    std::string line = "(" + command + ") >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
    int raw = std::system(line.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    fs::remove(out);
    fs::remove(err);
    return result;
}

Result RunTool(const std::string& arguments, const fs::path& scratch) {
    return Shell(Quote(Tool) + " " + arguments, scratch);
}

std::string Sha256(const fs::path& path) { return Sha256Hex(lha::ToBytes(ReadAll(path))); }

// Every regular file below `folder`, relative, with slashes.
std::set<std::string> FilesBelow(const fs::path& folder) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), folder).generic_string());
    return files;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    return parts;
}

void RequireJlha() {
    ASSERT_EQ(std::system("command -v jlha >/dev/null 2>&1"), 0)
        << "jlha (Debian's jlha-utils) is needed to write the round-trip archives: run scripts/install-deps";
}

// Runs jlha in `folder` to write `archive` from `files` ("c" + options, e.g. "c2o7").
void Jlha(const std::string& options, const fs::path& archive, const fs::path& folder, const std::string& files) {
    std::string command = "cd " + Quote(folder) + " && jlha " + options + " " + Quote(archive) + " " + files +
                          " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct ExpectedFile {
    std::string path;
    uint64_t size;
    std::string check;
};

std::map<std::string, std::vector<ExpectedFile>> ReadExpected() {
    std::map<std::string, std::vector<ExpectedFile>> expected;
    for (const std::string& line : Split(ReadAll(Fixtures / "expected.tsv"), '\n')) {
        std::vector<std::string> columns = Split(line, '\t');
        if (columns.size() != 4) continue;
        expected[columns[0]].push_back({columns[1], std::stoull(columns[2]), columns[3]});
    }
    return expected;
}

// Every fixture archive extracts into exactly the files that expected.tsv lists, and
// nothing lands beside the destination (the dot-dot and absolute-path regressions).
// `kavisfx test` reaches the same verdict without writing anything.
TEST(ToolFixtures, ExtractAndTestAgreeWithTheExpectedContents) {
    auto expected = ReadExpected();
    ASSERT_FALSE(expected.empty());
    Scratch scratch("fixtures");
    for (const auto& [archive, files] : expected) {
        SCOPED_TRACE(archive);
        fs::path root = scratch / archive;
        fs::create_directories(root);
        bool damaged = false;
        for (const ExpectedFile& file : files) damaged |= file.check == "crc16-mismatch";

        Result extract = RunTool("extract " + Quote(Fixtures / archive) + " -C " + Quote(root / "out"), scratch.path());
        EXPECT_EQ(extract.status, damaged ? 1 : 0) << extract.err;
        if (damaged) {
            EXPECT_NE(extract.err.find("が壊れています"), std::string::npos) << extract.err;
        }

        // The stub writes to a file system that ignores case; the list names the MS-DOS
        // members in lower case, so names are matched without regard to case.
        std::map<std::string, std::string> written;
        for (const std::string& path : FilesBelow(root / "out")) written[Lower(path)] = path;
        std::set<std::string> listed;
        for (const ExpectedFile& file : files) {
            listed.insert(Lower(file.path));
            ASSERT_TRUE(written.count(Lower(file.path))) << file.path;
            fs::path path = root / "out" / written[Lower(file.path)];
            // A damaged member's file stops short where its packed data ran out.
            if (file.check == "crc16-mismatch") {
                EXPECT_LT(fs::file_size(path), file.size) << file.path;
            } else {
                EXPECT_EQ(fs::file_size(path), file.size) << file.path;
            }
            if (file.check.rfind("crc16:", 0) == 0) {
                char crc[8];
                std::snprintf(crc, sizeof crc, "%04x", lha::Crc16(lha::ToBytes(ReadAll(path))));
                EXPECT_EQ(file.check.substr(6), crc) << file.path;
            } else if (file.check != "crc16-mismatch") {
                EXPECT_EQ(Sha256(path), file.check) << file.path;
            }
        }
        std::set<std::string> found, inside;
        for (const auto& [lower, path] : written) found.insert(lower);
        EXPECT_EQ(found, listed);
        for (const std::string& path : FilesBelow(root)) inside.insert(Lower(path));
        for (const std::string& path : listed) EXPECT_TRUE(inside.count("out/" + path)) << path;
        EXPECT_EQ(inside.size(), listed.size()) << "files beside the destination";

        Result test = RunTool("test " + Quote(Fixtures / archive), scratch.path());
        EXPECT_EQ(test.status, damaged ? 1 : 0) << test.out << test.err;
        EXPECT_EQ(test.out.find("damaged") != std::string::npos, damaged) << test.out;
    }
}

TEST(ToolList, TsvColumnsForScripts) {
    Scratch scratch("list");
    Result result = RunTool("list --tsv " + Quote(Fixtures / "unlha32_lh2.lzh"), scratch.path());
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = Split(result.out, '\n');
    ASSERT_EQ(lines.size(), 1u) << result.out;
    std::vector<std::string> columns = Split(lines[0], '\t');
    ASSERT_EQ(columns.size(), 7u) << lines[0];
    EXPECT_EQ(columns[0], "-lh2-");
    EXPECT_EQ(columns[2], "2853");
    EXPECT_EQ(columns[3], "d157");
    EXPECT_EQ(columns[4], "2");
    EXPECT_EQ(columns[6], "LICENSE.MIT");  // as stored
    EXPECT_LT(std::stoull(columns[1]), fs::file_size(Fixtures / "unlha32_lh2.lzh"));
}

TEST(ToolUsage, FailuresNameTheFileAndTheCause) {
    Scratch scratch("usage");
    Result missing = RunTool("list " + Quote(scratch / "nothing.lzh"), scratch.path());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("nothing.lzh: No such file or directory"), std::string::npos) << missing.err;

    EXPECT_EQ(RunTool("list --codepage NO-SUCH-CODEPAGE x.lzh", scratch.path()).status, 2);
    for (const char* command : {"list", "info", "test", "extract"}) {
        Result help = RunTool(std::string(command) + " --help", scratch.path());
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("usage: kavisfx"), std::string::npos) << command;
    }

    // A header of no known shape is damage (exit 1), a header cut short only the end.
    lha::Member odd = lha::Member::Stored("odd", "x", 0);
    odd.hasOsId = false;
    odd.baseExtra = {0x00};
    lha::ArchiveBuilder unknown;
    unknown.Add(lha::Member::Stored("a", "aaa")).Add(odd).End();
    ASSERT_TRUE(unknown.WriteTo((scratch / "unknown.lzh").string()));
    Result listed = RunTool("list --tsv " + Quote(scratch / "unknown.lzh"), scratch.path());
    EXPECT_EQ(listed.status, 1);
    EXPECT_NE(listed.err.find("unknown.lzh: Unknown header"), std::string::npos) << listed.err;
    EXPECT_EQ(Split(listed.out, '\n').size(), 1u) << listed.out;
    EXPECT_EQ(RunTool("extract " + Quote(scratch / "unknown.lzh") + " -C out", scratch.path()).status, 1);

    lha::Bytes cut = lha::ArchiveBuilder().Add(lha::Member::Stored("a", "aaa")).Add(lha::Member::Stored("b", "b"))
                         .Contents();
    cut.resize(cut.size() - 8);
    ASSERT_TRUE(lha::WriteFile((scratch / "cut.lzh").string(), cut));
    EXPECT_EQ(RunTool("list " + Quote(scratch / "cut.lzh"), scratch.path()).status, 0);
}

// A package is found by its "MZ" start and its length; its archive begins behind the block.
TEST(ToolPackage, ListInfoAndExtractReadBehindTheBlock) {
    Scratch scratch("package");
    const lha::ConfigBlock block{.caption = u"Setup of Kavi", .destination = u"C:\\Programs\\Kavi",
                                 .shortcutTarget = u"bin\\kavi.exe", .launchProgram = u"bin\\setup.exe",
                                 .shortcutName = u"Kavi", .startMenuOption = 3, .desktopOption = 2, .sendToOption = 1};
    lha::ArchiveBuilder archive;
    archive.Add(lha::Member::Folder("bin")).Add(lha::Member::Stored("bin/readme.txt", "hello package")).End();
    ASSERT_TRUE(lha::WritePackage((scratch / "setup.exe").string(), block, archive.Contents()));

    Result info = RunTool("info " + Quote(scratch / "setup.exe"), scratch.path());
    ASSERT_EQ(info.status, 0) << info.err;
    for (const char* text : {"Setup of Kavi", "C:\\Programs\\Kavi", "bin\\kavi.exe", "bin\\setup.exe",
                             "3 (editable: yes, checked: yes)", "2 (editable: no, checked: yes)",
                             "1 (editable: yes, checked: no)"})
        EXPECT_NE(info.out.find(text), std::string::npos) << text << "\n" << info.out;

    Result list = RunTool("list --tsv " + Quote(scratch / "setup.exe"), scratch.path());
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(Split(list.out, '\n').size(), 2u) << list.out;

    Result extract = RunTool("extract " + Quote(scratch / "setup.exe") + " -C " + Quote(scratch / "dest"),
                             scratch.path());
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadAll(scratch / "dest/bin/readme.txt"), "hello package");

    // The same archive without a stub has no block to show.
    ASSERT_TRUE(archive.WriteTo((scratch / "plain.lzh").string()));
    Result plain = RunTool("info " + Quote(scratch / "plain.lzh"), scratch.path());
    EXPECT_EQ(plain.status, 2);
    EXPECT_NE(plain.err.find("plain.lzh"), std::string::npos) << plain.err;
}

// Test data: text, skewed and uniform random bytes, a binary, members exactly the size
// of each window, a member of 0 bytes and one of a few bytes.
std::string Words(size_t size, uint32_t seed) {
    static const char* const words[] = {"kavi ", "archive ", "window ", "header ", "member ", "the ", "of ",
                                        "decode ", "folder\n", "lorem ", "ipsum ", "2026 ", "\t", "\r\n"};
    std::string out;
    uint32_t state = seed;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        out += words[(state >> 16) % (sizeof words / sizeof *words)];
    }
    out.resize(size);
    return out;
}

std::string RandomBytes(size_t size, uint32_t seed, bool skewed) {
    std::string out(size, '\0');
    uint32_t state = seed;
    for (char& c : out) {
        state = state * 1664525u + 1013904223u;
        uint32_t r = state >> 24;
        c = static_cast<char>(skewed ? (r * r) >> 10 : r);  // skewed: small values far more likely
    }
    return out;
}

void WriteDataSet(const fs::path& folder) {
    fs::create_directories(folder);
    WriteAll(folder / "empty.bin", "");
    WriteAll(folder / "tiny.txt", "hi\n");
    WriteAll(folder / "text.txt", Words(150000, 1));
    WriteAll(folder / "skewed.bin", RandomBytes(100000, 2, true));
    WriteAll(folder / "random.bin", RandomBytes(70000, 3, false));
    std::string binary = ReadAll(Tool);
    binary.resize(std::min<size_t>(binary.size(), 400000));
    WriteAll(folder / "binary.bin", binary);
    WriteAll(folder / "w4096.txt", Words(4096, 4));
    WriteAll(folder / "w8192.txt", Words(8192, 5));
    WriteAll(folder / "w32768.txt", Words(32768, 6));
    WriteAll(folder / "w65536.txt", Words(65536, 7));
}

// Extracts `archive` with the tool and compares every file with its source; the list
// shows `method` for the text member; `kavisfx test` passes.
void ExpectRoundTrip(const fs::path& archive, const fs::path& source, const std::string& method,
                     const fs::path& scratch) {
    SCOPED_TRACE(archive.filename().string());
    fs::path out = scratch / (archive.stem().string() + "-out");
    Result extract = RunTool("extract " + Quote(archive) + " -C " + Quote(out), scratch);
    ASSERT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(FilesBelow(out), FilesBelow(source));
    for (const std::string& file : FilesBelow(source))
        EXPECT_TRUE(ReadAll(out / file) == ReadAll(source / file)) << file << " differs";

    Result list = RunTool("list --tsv " + Quote(archive), scratch);
    ASSERT_EQ(list.status, 0) << list.err;
    bool seen = false;
    for (const std::string& line : Split(list.out, '\n')) {
        std::vector<std::string> columns = Split(line, '\t');
        if (columns.size() == 7 && columns[0] == method) seen = true;
    }
    EXPECT_TRUE(seen) << "no " << method << " member:\n" << list.out;

    Result test = RunTool("test " + Quote(archive), scratch);
    EXPECT_EQ(test.status, 0) << test.out << test.err;
    fs::remove_all(out);
}

TEST(ToolRoundTrip, JlhaArchivesOfEveryLevelAndMethod) {
    RequireJlha();
    Scratch scratch("roundtrip");
    fs::path source = scratch / "src";
    WriteDataSet(source);
    const std::string files = "empty.bin tiny.txt text.txt skewed.bin random.bin binary.bin w4096.txt w8192.txt "
                              "w32768.txt w65536.txt";
    struct Case {
        std::string options, method;
    };
    // Every method at some header level and every level with some method.
    const std::vector<Case> cases = {{"c0o5", "-lh5-"}, {"c0z", "-lh0-"}, {"c1o6", "-lh6-"}, {"c1z", "-lh0-"},
                                     {"c2o7", "-lh7-"}, {"c2o5", "-lh5-"}, {"c2z", "-lh0-"}};

    // jlha starts a Java machine each time: write the archives two at a time, each in its
    // own working folder (jlha keeps its temporary file there).
    std::string script;
    for (size_t i = 0; i < cases.size(); ++i) {
        fs::path work = scratch / ("work" + std::to_string(i));
        fs::create_directories(work);
        script += "jlha " + cases[i].options + "w=" + Quote(work) + " " + Quote(scratch / (cases[i].options + ".lzh")) +
                  " " + files + " >/dev/null 2>&1 & ";
        if (i % 2 == 1) script += "wait; ";
    }
    ASSERT_EQ(std::system(("cd " + Quote(source) + " || exit 1; " + script + "wait").c_str()), 0);
    for (const Case& c : cases) ExpectRoundTrip(scratch / (c.options + ".lzh"), source, c.method, scratch.path());
}

TEST(ToolRoundTrip, MembersOfTensOfMegabytes) {
    RequireJlha();
    Scratch scratch("large");
    fs::path source = scratch / "src";
    fs::create_directories(source);
    std::string mixed = Words(3000000, 8);
    mixed.insert(1500000, RandomBytes(1000000, 9, true));  // text with a stretch of noise inside
    WriteAll(source / "mixed.txt", mixed);
    WriteAll(source / "zeros.bin", std::string(24000000, '\0'));
    WriteAll(source / "after.txt", "the member after the large ones\n");
    Jlha("c1o6", scratch / "large.lzh", source, "mixed.txt zeros.bin after.txt");
    ExpectRoundTrip(scratch / "large.lzh", source, "-lh6-", scratch.path());

    // A stored member of 16 MB, copied whole.
    fs::remove(source / "mixed.txt");
    fs::remove(source / "zeros.bin");
    WriteAll(source / "stored.bin", RandomBytes(16000000, 10, false));
    Jlha("c2z", scratch / "stored.lzh", source, "stored.bin after.txt");
    ExpectRoundTrip(scratch / "stored.lzh", source, "-lh0-", scratch.path());
}

// A member that crosses the file-size limit fails its write: the system's text names it,
// the short file is removed, the run stops with status 1, and every file left is whole.
TEST(ToolFailedWrite, MemberPastTheFileSizeLimitFails) {
    RequireJlha();
    Scratch scratch("ulimit");
    fs::path source = scratch / "src";
    fs::create_directories(source);
    WriteAll(source / "first.txt", Words(20000, 11));
    WriteAll(source / "second.txt", Words(400000, 12));
    WriteAll(source / "third.txt", "third\n");
    Jlha("c2o5", scratch / "lh5.lzh", source, "first.txt second.txt third.txt");
    lha::ArchiveBuilder stored;
    stored.Add(lha::Member::Stored("first.txt", ReadAll(source / "first.txt")))
        .Add(lha::Member::Stored("second.txt", ReadAll(source / "second.txt")))
        .Add(lha::Member::Stored("third.txt", "third\n"))
        .End();
    ASSERT_TRUE(stored.WriteTo((scratch / "stored.lzh").string()));

    for (const char* name : {"lh5.lzh", "stored.lzh"}) {
        SCOPED_TRACE(name);
        fs::path out = scratch / (std::string(name) + "-out");
        Result result = Shell("ulimit -f 100; exec " + Quote(Tool) + " extract " + Quote(scratch / name) + " -C " +
                                  Quote(out),
                              scratch.path());
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
    RequireJlha();
    Scratch scratch("sigint");
    fs::path source = scratch / "src";
    fs::create_directories(source);
    WriteAll(source / "first.txt", "first member\n");
    WriteAll(source / "huge.bin", std::string(32000000, '\0'));
    Jlha("c2o5", scratch / "huge.lzh", source, "first.txt huge.bin");
    fs::remove(source / "huge.bin");

    fs::path out = scratch / "out";
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::freopen("/dev/null", "w", stderr);
        ::execl(Tool.c_str(), Tool.c_str(), "extract", (scratch / "huge.lzh").c_str(), "-C", out.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(out / "huge.bin") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_FALSE(fs::exists(out / "huge.bin"));
    EXPECT_EQ(ReadAll(out / "first.txt"), "first member\n");
}

}  // namespace
