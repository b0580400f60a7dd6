// kavisfx pack from the outside: trees survive the round trip through our extractor and
// through independent readers, links are skipped or followed, the same inputs give the
// same bytes, the block says what the options said, and every refusal exits with a
// message and leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support/run_tool.h"

namespace fs = std::filesystem;

namespace {

const std::string Tool = KAVISFX_TOOL;

using run::Quote;
using run::Result;
using run::Scratch;
using run::Shell;

Result Pack(const std::string& arguments) { return run::Tool("pack " + arguments); }
Result Kavisfx(const std::string& arguments) { return run::Tool(arguments); }

bool HaveCommand(const char* name) { return Shell(std::string("command -v ") + name).status == 0; }

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Relative path -> contents ("/" for a folder) of everything under root.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(item.path(), root).string();
        tree[relative] = item.is_directory() ? "/" : ReadFile(item.path());
    }
    return tree;
}

// A tree with every kind of file and name that packing must carry over unchanged.
void MakeTree(const fs::path& root) {
    std::mt19937 rng(42);
    std::string random(60000, '\0');
    for (char& c : random) c = static_cast<char>(rng());
    std::string text;
    for (int i = 0; text.size() < 90000; ++i) text += "line " + std::to_string(i % 377) + ": the quick brown fox\n";
    std::string runs;
    for (int i = 0; i < 40; ++i) runs += std::string(1 + rng() % 4000, static_cast<char>('a' + i % 5));
    WriteFile(root / "random.bin", random);
    WriteFile(root / "text.txt", text);
    WriteFile(root / "runs.dat", runs);
    WriteFile(root / "empty.txt", "");
    fs::create_directories(root / "empty folder");
    fs::path deep = root;
    for (int level = 0; level < 12; ++level) deep /= "level" + std::to_string(level);
    WriteFile(deep / "bottom.txt", text.substr(0, 5000));
    WriteFile(root / "日本語" / "ソフト表示.txt", "trail bytes 0x5C in Shift_JIS\n");
    WriteFile(root / "😀 emoji.txt", "astral plane\n");
    WriteFile(root / "e\xCC\x81 combining.txt", "decomposed accent\n");
    WriteFile(root / "it's & $HOME %PATH% [x] (1);.txt", "shell and batch characters\n");
}

TEST(PackTree, RoundTripsThroughOurExtractorForEveryMethodAndLevel) {
    Scratch scratch;
    MakeTree(scratch.path() / "in" / "tree");
    const std::map<std::string, std::string> expected = Snapshot(scratch.path() / "in");
    const char* const variants[] = {"--method lh7", "--method lh6", "--method lh5", "--method lh0",
                                    "--method lh7 --fast", "--method lh7 --best"};
    int n = 0;
    for (const char* variant : variants) {
        std::string archive = scratch / ("out" + std::to_string(n) + ".lzh");
        std::string out = scratch / ("x" + std::to_string(n++));
        Result packed = Pack(Quote(archive) + " --archive-only " + variant + " " + Quote(scratch / "in/tree"));
        ASSERT_EQ(packed.status, 0) << variant << ": " << packed.all();
        // One warning names the names CP932 cannot hold, and only those.
        EXPECT_NE(packed.all().find("2 names cannot be written in CP932"), std::string::npos) << packed.all();
        EXPECT_EQ(packed.all().find("warning"), packed.all().rfind("warning")) << packed.all();
        for (const char* name : {"\n  tree/😀 emoji.txt\n", "\n  tree/e\xCC\x81 combining.txt\n"})
            EXPECT_NE(packed.all().find(name), std::string::npos) << name << packed.all();
        Result extracted = Kavisfx("extract " + Quote(archive) + " -C " + Quote(out));
        ASSERT_EQ(extracted.status, 0) << variant << ": " << extracted.all();
        EXPECT_TRUE(Snapshot(out) == expected) << variant;
        Result tested = Kavisfx("test " + Quote(archive));
        EXPECT_EQ(tested.status, 0) << variant << ": " << tested.all();
    }
}

TEST(PackTree, IndependentReadersAcceptWhatTheEncoderWrites) {
    ASSERT_TRUE(HaveCommand("lhasa") && HaveCommand("7z")) << "lhasa or 7z is missing: run scripts/install-deps";
    Scratch scratch;
    MakeTree(scratch.path() / "tree");
    for (const char* variant : {"--method lh5", "--method lh6", "--method lh7 --fast", "--method lh7",
                                "--method lh7 --best"}) {
        std::string archive = scratch / "out.lzh";
        ASSERT_EQ(Pack(Quote(archive) + " --archive-only " + variant + " " + Quote(scratch / "tree")).status, 0);
        Result lhasa = Shell("lhasa t " + Quote(archive));
        EXPECT_EQ(lhasa.status, 0) << variant << ": " << lhasa.all();
        EXPECT_EQ(lhasa.all().find("rror"), std::string::npos) << variant << ": " << lhasa.all();
        Result sevenZip = Shell("7z t " + Quote(archive));
        EXPECT_EQ(sevenZip.status, 0) << variant << ": " << sevenZip.all();
        // lhasa extracts by the CP932 names; ASCII names and contents must come out whole.
        fs::create_directories(scratch.path() / "lhasa");
        ASSERT_EQ(Shell("cd " + Quote(scratch / "lhasa") + " && lhasa xq " + Quote(archive)).status, 0);
        EXPECT_EQ(ReadFile(scratch.path() / "lhasa/tree/text.txt"), ReadFile(scratch.path() / "tree/text.txt"));
        EXPECT_EQ(ReadFile(scratch.path() / "lhasa/tree/random.bin"), ReadFile(scratch.path() / "tree/random.bin"));
        fs::remove_all(scratch.path() / "lhasa");
    }
}

// Links inside folders are skipped with a warning each, dangling ones too; with
// --follow-links file and folder links are packed as what they point to, a link to a
// folder above it is refused, and so is one that points to nothing.
TEST(PackTree, LinksAreSkippedOrFollowed) {
    Scratch scratch;
    const fs::path tree = scratch.path() / "tree";
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "sub" / "b.txt", "b");
    fs::create_symlink("a.txt", tree / "file-link");
    fs::create_symlink("sub", tree / "folder-link");
    fs::create_symlink("nowhere", tree / "dangling");
    fs::create_symlink("..", tree / "sub" / "loop");
    const std::string archive = Quote(scratch / "out.lzh") + " --archive-only ";
    Result skipped = Pack(archive + Quote(tree.string()));
    ASSERT_EQ(skipped.status, 0) << skipped.all();
    for (const char* link : {"file-link", "folder-link", "dangling", "sub/loop"})
        EXPECT_NE(skipped.all().find("warning: " + (tree / link).string() + ": a link, skipped"), std::string::npos)
            << link << "\n" << skipped.all();
    EXPECT_EQ(std::count(skipped.err.begin(), skipped.err.end(), '\n'), 4) << skipped.all();
    Result listed = Kavisfx("list --tsv " + Quote(scratch / "out.lzh"));
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 4) << listed.all();

    const struct {
        const char* remove;
        int status;
        const char* says;
    } rows[] = {{"", 2, "dangling: cannot follow the link: No such file or directory"},
                {"dangling", 1, "/loop: the folder contains itself through a link"},
                {"sub/loop", 0, ""}};
    for (const auto& row : rows) {
        if (*row.remove) fs::remove(tree / row.remove);
        Result followed = Pack(archive + "--follow-links " + Quote(tree.string()));
        EXPECT_EQ(followed.status, row.status) << followed.all();
        EXPECT_NE(followed.all().find(row.says), std::string::npos) << followed.all();
    }
    ASSERT_EQ(Kavisfx("extract " + Quote(scratch / "out.lzh") + " -C " + Quote(scratch / "x")).status, 0);
    EXPECT_EQ(ReadFile(scratch.path() / "x/tree/file-link"), "a");
    EXPECT_EQ(ReadFile(scratch.path() / "x/tree/folder-link/b.txt"), "b");
}

TEST(PackTree, SameInputsGiveTheSameBytesAndEpochClampsTimes) {
    Scratch scratch;
    MakeTree(scratch.path() / "tree");
    std::string first = scratch / "a.lzh", second = scratch / "b.lzh";
    ASSERT_EQ(Pack(Quote(first) + " --archive-only " + Quote(scratch / "tree")).status, 0);
    ASSERT_EQ(Pack(Quote(second) + " --archive-only " + Quote(scratch / "tree")).status, 0);
    EXPECT_TRUE(ReadFile(first) == ReadFile(second));
    const fs::perms exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    EXPECT_EQ(fs::status(first).permissions() & exec, fs::perms::none) << "a bare archive is not a program";

    ASSERT_EQ(Shell("SOURCE_DATE_EPOCH=1000000000 " + Quote(Tool) + " pack " + Quote(first) + " --archive-only " +
                    Quote(scratch / "tree"))
                  .status,
              0);
    Result listed = Kavisfx("list --tsv " + Quote(first));
    ASSERT_EQ(listed.status, 0);
    std::istringstream lines(listed.all());
    int members = 0;
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> columns;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) columns.push_back(field);
        if (columns.size() < 7) continue;
        EXPECT_EQ(columns[5], "1000000000") << line;
        ++members;
    }
    EXPECT_GT(members, 10);
    EXPECT_EQ(Shell("SOURCE_DATE_EPOCH=yesterday " + Quote(Tool) + " pack " + Quote(scratch / "c.lzh") +
                    " --archive-only " + Quote(scratch / "tree"))
                  .status,
              2);
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

// A stand-in for the stub when the test only reads the package: an MS-DOS header.
std::string FakeStub(size_t size = 1024) {
    std::string stub(size, '\0');
    stub[0] = 'M';
    stub[1] = 'Z';
    return stub;
}

TEST(PackPackage, LayoutAndBlockFieldsRoundTripThroughInfo) {
    Scratch scratch;
    WriteFile(scratch.path() / "stub.exe", FakeStub());
    WriteFile(scratch.path() / "app" / "bin" / "tool.exe", "program");
    WriteFile(scratch.path() / "app" / "readme.txt", "read me");
    std::string package = scratch / "setup.exe";
    Result packed = Pack(Quote(package) + " --stub " + Quote(scratch / "stub.exe") +
                         " --caption 'セットアップ' --destination 'Kavi\\Tool' --relative-to program-files"
                         " --shortcut-target app/bin/tool.exe --shortcut-name 'Kavi Tool' --start-menu on"
                         " --desktop on-locked --send-to off-locked --launch 'app\\bin\\tool.exe' " +
                         Quote(scratch / "app"));
    ASSERT_EQ(packed.status, 0) << packed.all();
    std::string bytes = ReadFile(package);
    ASSERT_GT(bytes.size(), 37888u);
    EXPECT_NE(fs::status(package).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(bytes.substr(0x24, 10), "LHA's SFX ");
    EXPECT_EQ(bytes[37888], 1);
    Result info = Kavisfx("info " + Quote(package));
    ASSERT_EQ(info.status, 0) << info.all();
    for (const char* expected : {"セットアップ", "destination:         <Program Files>\\Kavi\\Tool\n", "app\\bin\\tool.exe",
                                 "Kavi Tool", "3 (editable: yes, checked: yes)",
                                 "2 (editable: no, checked: yes)", "0 (editable: no, checked: no)"})
        EXPECT_NE(info.all().find(expected), std::string::npos) << expected << " in\n" << info.all();
    Result extracted = Kavisfx("extract " + Quote(package) + " -C " + Quote(scratch / "out"));
    ASSERT_EQ(extracted.status, 0) << extracted.all();
    EXPECT_EQ(ReadFile(scratch.path() / "out/app/bin/tool.exe"), "program");

    // Without a dialog the block is the single byte 0 and the archive follows it.
    ASSERT_EQ(Pack(Quote(package) + " --stub " + Quote(scratch / "stub.exe") + " --no-dialog " +
                   Quote(scratch / "app/") + " --method lh0")
                  .status,
              0);
    bytes = ReadFile(package);
    EXPECT_EQ(bytes[37888], 0);
    EXPECT_EQ(bytes.substr(37889 + 2, 5), "-lhd-") << "bin/ comes first, as a folder member";
    EXPECT_EQ(Kavisfx("list " + Quote(package)).status, 0);
}

TEST(PackPackage, AppendsAnExistingArchiveOnlyWhenItReadsWhole) {
    Scratch scratch;
    WriteFile(scratch.path() / "stub.exe", FakeStub());
    WriteFile(scratch.path() / "a.txt", std::string(5000, 'a'));
    std::string archive = scratch / "in.lzh";
    ASSERT_EQ(Pack(Quote(archive) + " --archive-only " + Quote(scratch / "a.txt")).status, 0);
    std::string package = scratch / "setup.exe";
    Result packed = Pack(Quote(package) + " --stub " + Quote(scratch / "stub.exe") +
                         " --launch a.txt --destination 'C:\\Kavi' --archive " + Quote(archive));
    ASSERT_EQ(packed.status, 0) << packed.all();
    EXPECT_EQ(ReadFile(package).substr(37888 + 10 + 2 * (5 + 7)), ReadFile(archive));
    // A destination with a drive is shown as it stands.
    EXPECT_NE(Kavisfx("info " + Quote(package)).out.find("destination:         C:\\Kavi\n"), std::string::npos);

    std::string whole = ReadFile(archive);
    WriteFile(scratch.path() / "cut.lzh", whole.substr(0, whole.size() - 1));
    Result cut = Pack(Quote(package + "2") + " --stub " + Quote(scratch / "stub.exe") + " --archive " +
                      Quote(scratch / "cut.lzh"));
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.all().find("cut.lzh"), std::string::npos) << cut.all();
    EXPECT_FALSE(fs::exists(package + "2"));
}

TEST(PackRefusals, ExitWithAMessageAndLeaveNothingBehind) {
    Scratch scratch;
    WriteFile(scratch.path() / "stub.exe", FakeStub());
    WriteFile(scratch.path() / "big-stub.exe", FakeStub(37889));
    WriteFile(scratch.path() / "ok" / "a.txt", "a");
    WriteFile(scratch.path() / "device" / "aux.txt", "x");
    WriteFile(scratch.path() / "dot" / "name.", "x");
    WriteFile(scratch.path() / "case" / "Read.txt", "x");
    WriteFile(scratch.path() / "case" / "read.TXT", "y");
    WriteFile(scratch.path() / "colon" / "a:b.txt", "x");
    std::string bad = "\xFF\xFE.txt";
    WriteFile(scratch.path() / "utf8" / bad, "x");
    const std::string stub = " --stub " + Quote(scratch / "stub.exe") + " ";
    const std::string ok = " " + Quote(scratch / "ok") + " ";
    struct Case {
        std::string arguments;
        int status;
        const char* says;
    } cases[] = {
        {stub + "--caption " + std::string(256, 'c') + ok, 2, "255"},
        {stub + "--caption " + Repeat("字", 255) + " --shortcut-name " + std::string(300, 'n') + ok, 2,
         "--shortcut-name"},
        {stub + "--launch ok/missing.exe" + ok, 1, "missing.exe"},
        {stub + "--shortcut-target nowhere.exe" + ok, 1, "nowhere.exe"},
        {stub + "--no-dialog --caption x" + ok, 2, "--no-dialog"},
        {stub + "--start-menu on" + ok, 2, "--shortcut-target"},
        {stub + "--desktop sometimes --shortcut-target ok/a.txt" + ok, 2, "sometimes"},
        {stub + "--method lh9" + ok, 2, "--method"},
        {stub + "--frobnicate" + ok, 2, "--frobnicate"},
        {stub, 2, "nothing"},
        {" --stub " + Quote(scratch / "big-stub.exe") + ok, 1, "37888"},
        {" --stub " + Quote(scratch / "ok/a.txt") + ok, 1, "MZ"},
        {stub + Quote(scratch / "device"), 1, "device"},
        {stub + Quote(scratch / "dot"), 1, "dot"},
        {stub + Quote(scratch / "case"), 1, "case"},
        {stub + Quote(scratch / "colon"), 1, ":"},
        {stub + Quote(scratch / "utf8"), 1, "UTF-8"},
        {stub + Quote(scratch / "no-such-file"), 2, "no-such-file: No such file or directory"},
        {stub + "--archive " + Quote(scratch / "no-such.lzh"), 2, "no-such.lzh: No such file or directory"},
        {" --stub " + Quote(scratch / "no-stub.exe") + ok, 2, "no-stub.exe: No such file or directory"},
    };
    for (const Case& c : cases) {
        std::string output = scratch / "out.exe";
        fs::remove(output);
        Result result = Pack(Quote(output) + " " + c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.all();
        EXPECT_NE(result.all().find(c.says), std::string::npos) << c.arguments << "\n" << result.all();
        EXPECT_FALSE(fs::exists(output)) << c.arguments;
    }
    for (const auto& item : fs::directory_iterator(scratch.path()))
        EXPECT_EQ(item.path().filename().string().find(".kavisfx-"), std::string::npos) << item.path();
    EXPECT_EQ(Pack(Quote(scratch / "out.exe") + stub + "--allow-missing --launch gone.exe" + ok).status, 0);
    // A pipe (or a device such as /dev/null) in the output's place stays what it is.
    const std::string pipe = scratch / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Result onPipe = Pack(Quote(pipe) + stub + ok);
    EXPECT_EQ(onPipe.status, 1) << onPipe.all();
    EXPECT_NE(onPipe.all().find("not a regular file"), std::string::npos) << onPipe.all();
    EXPECT_TRUE(fs::is_fifo(pipe));
}

TEST(PackRefusals, AFailedWriteLeavesNoPackage) {
    Scratch scratch;
    WriteFile(scratch.path() / "stub.exe", FakeStub());
    WriteFile(scratch.path() / "data.bin", std::string(3 << 20, 'q'));
    std::string output = scratch / "out.exe";
    // A file-size limit below the package's size makes a write fail midway.
    Result result = Shell("ulimit -f 100; trap '' XFSZ; " + Quote(Tool) + " pack " + Quote(output) + " --stub " +
                          Quote(scratch / "stub.exe") + " --method lh0 " + Quote(scratch / "data.bin"));
    EXPECT_EQ(result.status, 1) << result.all();
    EXPECT_FALSE(fs::exists(output));
    for (const auto& item : fs::directory_iterator(scratch.path()))
        EXPECT_EQ(item.path().filename().string().find(".kavisfx-"), std::string::npos) << item.path();
}

TEST(PackSigning, ASignedPackageStillExtracts) {
    ASSERT_TRUE(HaveCommand("osslsigncode") && HaveCommand("openssl"))
        << "osslsigncode or openssl is missing: run scripts/install-deps";
    Scratch scratch;
    std::string package = scratch / "setup.exe";
    WriteFile(scratch.path() / "app" / "tool.exe", "program");
    WriteFile(scratch.path() / "app" / "data.txt", std::string(20000, 'd'));
    Result packed = Pack(Quote(package) + " --stub x86_64 --launch app/tool.exe " + Quote(scratch / "app"));
    if (packed.status == 1 && packed.all().find("without the Windows stubs") != std::string::npos)
        GTEST_SKIP() << "this kavisfx carries no stubs";
    ASSERT_EQ(packed.status, 0) << packed.all();
    Result key = Shell("cd " + Quote(scratch.path().string()) +
                       " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2"
                       " -subj /CN=kavisfx-test");
    ASSERT_EQ(key.status, 0) << key.all();
    Result signedPackage = Shell("osslsigncode sign -certs " + Quote(scratch / "cert.pem") + " -key " +
                                 Quote(scratch / "key.pem") + " -in " + Quote(package) + " -out " +
                                 Quote(scratch / "signed.exe"));
    ASSERT_EQ(signedPackage.status, 0) << signedPackage.all();
    EXPECT_GT(fs::file_size(scratch / "signed.exe"), fs::file_size(package));
    Result extracted = Kavisfx("extract " + Quote(scratch / "signed.exe") + " -C " + Quote(scratch / "out"));
    ASSERT_EQ(extracted.status, 0) << extracted.all();
    EXPECT_EQ(ReadFile(scratch.path() / "out/app/data.txt"), std::string(20000, 'd'));
    EXPECT_EQ(Kavisfx("info " + Quote(scratch / "signed.exe")).status, 0);
}

}  // namespace
