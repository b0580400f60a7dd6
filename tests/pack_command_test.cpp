// kavisfx pack from the outside: trees survive the round trip through our extractor and
// through independent readers, links are skipped or followed, the same inputs give the
// same bytes, the block says what the options said, and every refusal exits with a
// message and leaves nothing behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "support/archive_builder.h"
#include "support/file_bytes.h"
#include "support/run_tool.h"
#include "tools/pack/package_builder.h"

namespace fs = std::filesystem;

namespace {

using run::Quote;
using run::Result;
using run::Shell;

Result Kavisfx(const std::string& arguments) { return run::Tool(arguments); }
Result Pack(const std::string& arguments) { return Kavisfx("pack " + arguments); }

bool Has(const Result& result, const std::string& text) { return result.all().find(text) != std::string::npos; }

// Relative path -> contents ("/" for a folder) of everything under root.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root))
        tree[fs::relative(item.path(), root).string()] = item.is_directory() ? "/" : ReadAll(item.path());
    return tree;
}

// A tree with every kind of file and name that packing must carry over unchanged.
void MakeTree(const fs::path& root) {
    std::mt19937 rng(42);
    std::string random(60000, '\0'), text, runs;
    for (char& c : random) c = static_cast<char>(rng());
    for (int i = 0; text.size() < 90000; ++i) text += "line " + std::to_string(i % 377) + ": the quick brown fox\n";
    for (int i = 0; i < 40; ++i) runs += std::string(1 + rng() % 4000, static_cast<char>('a' + i % 5));
    WriteAll(root / "random.bin", random);
    WriteAll(root / "text.txt", text);
    WriteAll(root / "runs.dat", runs);
    WriteAll(root / "empty.txt", "");
    fs::create_directories(root / "empty folder");
    fs::path deep = root;
    for (int level = 0; level < 12; ++level) deep /= "level" + std::to_string(level);
    WriteAll(deep / "bottom.txt", text.substr(0, 5000));
    WriteAll(root / "日本語" / "ソフト表示.txt", "trail bytes 0x5C in Shift_JIS\n");
    WriteAll(root / "😀 emoji.txt", "astral plane\n");
    WriteAll(root / "e\xCC\x81 combining.txt", "decomposed accent\n");
    WriteAll(root / "it's & $HOME %PATH% [x] (1);¥.txt", "shell and batch characters\n");
}

// Every method and level: our extractor gives back the tree, lhasa and 7-Zip accept the
// archive (lhasa extracts by the CP932 names; ASCII names and contents come out whole),
// and one warning names exactly the names CP932 cannot hold. The same inputs give the same
// bytes, a bare archive is no program, and SOURCE_DATE_EPOCH sets every member's time.
TEST(PackTree, RoundTripsThroughOurExtractorAndIndependentReaders) {
    ASSERT_EQ(Shell("command -v lhasa && command -v 7z").status, 0) << "lhasa or 7z is missing: run scripts/install-deps";
    run::Scratch scratch;
    MakeTree(scratch.path() / "in" / "tree");
    const auto expected = Snapshot(scratch.path() / "in");
    const std::string archive = scratch / "out.lzh", out = scratch / "x", lhasa = scratch / "lhasa";
    for (const char* variant : {"--method lh6", "--method lh5", "--method lh0", "--method lh7 --fast", "--method lh7 --best",
                                "--method lh7"}) {
        SCOPED_TRACE(variant);
        Result packed = Pack(Quote(archive) + " --archive-only " + variant + " " + Quote(scratch / "in/tree"));
        ASSERT_EQ(packed.status, 0) << packed.all();
        EXPECT_TRUE(Has(packed, "3 names cannot be written in CP932")) << packed.all();
        EXPECT_EQ(packed.all().find("warning"), packed.all().rfind("warning")) << packed.all();
        for (const char* name : {"\n  tree/😀 emoji.txt\n", "\n  tree/e\xCC\x81 combining.txt\n", ";¥.txt\n"})
            EXPECT_TRUE(Has(packed, name)) << name << packed.all();
        fs::remove_all(out);
        Result extracted = Kavisfx("extract " + Quote(archive) + " -C " + Quote(out));
        ASSERT_EQ(extracted.status, 0) << extracted.all();
        EXPECT_TRUE(Snapshot(out) == expected);
        for (const char* reader : {"lhasa t ", "7z t "}) {
            Result tested = Shell(reader + Quote(archive));
            EXPECT_EQ(tested.status, 0) << reader << tested.all();
            EXPECT_FALSE(Has(tested, "rror")) << reader << tested.all();
        }
        fs::remove_all(lhasa);
        fs::create_directories(lhasa);
        ASSERT_EQ(Shell("cd " + Quote(lhasa) + " && lhasa xq " + Quote(archive)).status, 0);
        for (const char* name : {"/tree/text.txt", "/tree/random.bin"})
            EXPECT_EQ(ReadAll(lhasa + name), ReadAll(scratch / ("in" + std::string(name))));
    }
    const std::string again = scratch / "again.lzh", tree = " --archive-only " + Quote(scratch / "in/tree");
    ASSERT_EQ(Pack(Quote(again) + tree).status, 0);
    EXPECT_TRUE(ReadAll(again) == ReadAll(archive));
    const fs::perms exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    EXPECT_EQ(fs::status(again).permissions() & exec, fs::perms::none) << "a bare archive is not a program";
    ASSERT_EQ(Shell("SOURCE_DATE_EPOCH=1000000000 " + Quote(KAVISFX_TOOL) + " pack " + Quote(again) + tree).status, 0);
    // Every member's time (the sixth column), counted by value: all of them the epoch.
    EXPECT_EQ(Shell(Quote(KAVISFX_TOOL) + " list --tsv " + Quote(again) + " | cut -f6 | uniq -c").out, "     24 1000000000\n");
    EXPECT_EQ(Shell("SOURCE_DATE_EPOCH=yesterday " + Quote(KAVISFX_TOOL) + " pack " + Quote(scratch / "c.lzh") + tree).status, 2);
}

// Links inside folders are skipped with a warning each, dangling ones too; with
// --follow-links file and folder links are packed as what they point to, a link to a
// folder above it is refused, and so is one that points to nothing.
TEST(PackTree, LinksAreSkippedOrFollowed) {
    run::Scratch scratch;
    const fs::path tree = scratch.path() / "tree";
    WriteAll(tree / "a.txt", "a");
    WriteAll(tree / "sub" / "b.txt", "b");
    fs::create_symlink("a.txt", tree / "file-link");
    fs::create_symlink("sub", tree / "folder-link");
    fs::create_symlink("nowhere", tree / "dangling");
    fs::create_symlink("..", tree / "sub" / "loop");
    const std::string archive = Quote(scratch / "out.lzh") + " --archive-only ";
    Result skipped = Pack(archive + Quote(tree.string()));
    ASSERT_EQ(skipped.status, 0) << skipped.all();
    for (const char* link : {"file-link", "folder-link", "dangling", "sub/loop"})
        EXPECT_TRUE(Has(skipped, "warning: " + (tree / link).string() + ": a link, skipped")) << skipped.all();
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
        EXPECT_TRUE(Has(followed, row.says)) << followed.all();
    }
    ASSERT_EQ(Kavisfx("extract " + Quote(scratch / "out.lzh") + " -C " + Quote(scratch / "x")).status, 0);
    EXPECT_EQ(ReadAll(scratch / "x/tree/file-link"), "a");
    EXPECT_EQ(ReadAll(scratch / "x/tree/folder-link/b.txt"), "b");
}

// Every name Windows cannot hold or tell apart is listed in one run, escaped; --exclude
// leaves them out by path or by name (a folder with its contents). Scripts keep their
// execute bit, and the run ends with its summary.
TEST(PackTree, ExcludesListsEveryBadNameAndKeepsModes) {
    run::Scratch scratch;
    const fs::path tree = scratch.path() / "tree";
    for (const char* name : {"run.sh", "doc/index.html", "doc/Index.html", "doc/a:b", "cache/x", "keep/cache.txt",
                             "esc\x1b]0;title\x07"})
        WriteAll(tree / name, "#!/bin/sh\n");
    fs::permissions(tree / "run.sh", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    const std::string archive = Quote(scratch / "out.lzh") + " --archive-only " + Quote(tree.string());
    Result refused = Pack(archive);
    EXPECT_EQ(refused.status, 1);
    for (const char* says : {"3 names that Windows cannot hold", "doc/index.html: Windows would take it for",
                             "doc/a:b: Windows does not accept", "esc\\x1b]0;title\\x07: Windows does not accept"})
        EXPECT_TRUE(Has(refused, says)) << says << "\n" << refused.all();
    EXPECT_EQ(refused.all().find('\x1b'), std::string::npos);
    Result packed = Pack(archive + " --exclude doc/index.html --exclude 'doc/*:*' --exclude cache/ --exclude 'esc*'");
    ASSERT_EQ(packed.status, 0) << packed.all();
    EXPECT_TRUE(Has(packed, "3 files, 3 folders, 30 bytes in, ")) << packed.all();
    ASSERT_EQ(Kavisfx("extract " + Quote(scratch / "out.lzh") + " -C " + Quote(scratch / "x")).status, 0);
    EXPECT_EQ(Snapshot(scratch / "x/tree").size(), 5u);
    EXPECT_TRUE(fs::exists(scratch / "x/tree/keep/cache.txt"));
    EXPECT_EQ(fs::status(scratch / "x/tree/run.sh").permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    for (const char* reader : {"lhasa t ", "7z t ", "jlha t "})
        EXPECT_EQ(Shell(reader + Quote(scratch / "out.lzh")).status, 0) << reader;
}

// Trees that would stall or swamp a run: a file that turns into a FIFO after the walk is
// refused at once (not waited on), and with --follow-links a folder reached through many
// links is packed once, each further path named, where each level linking twice to the
// next used to double the members per level.
TEST(PackTree, HostileTreesNeitherHangNorMultiply) {
    run::Scratch scratch;
    const fs::path tree = scratch.path() / "tree";
    for (int level = 0; level <= 16; ++level) {
        WriteAll(tree / ("l" + std::to_string(level)) / "f", "f");
        if (level > 0)
            for (const char* link : {"x", "y"})
                fs::create_symlink("../l" + std::to_string(level), tree / ("l" + std::to_string(level - 1)) / link);
    }
    Result packed = Pack(Quote(scratch / "d.lzh") + " --archive-only --follow-links " + Quote(tree / "l0"));
    ASSERT_EQ(packed.status, 0) << packed.all();
    EXPECT_TRUE(Has(packed, "17 files, 17 folders")) << packed.all();
    EXPECT_TRUE(Has(packed, "l0/y: the same folder as " + (tree / "l0/x").string())) << packed.all();

    std::vector<PackEntry> entries;
    TreeReport report;
    ASSERT_EQ(CollectEntries({(tree / "l16").string()}, TreeOptions(), entries, report), "");
    fs::remove(tree / "l16/f");
    ASSERT_EQ(::mkfifo((tree / "l16/f").c_str(), 0600), 0);
    PackageRequest request;
    request.output = scratch / "fifo.lzh";
    request.archiveOnly = true;
    request.entries = entries;
    EXPECT_NE(BuildPackage(request).find("l16/f: replaced since it was found"), std::string::npos);
    EXPECT_FALSE(fs::exists(request.output));
}

// A stand-in for the stub when the test only reads the package (an MS-DOS header) in
// scratch, as the option that names it.
std::string FakeStub(const run::Scratch& scratch, const std::string& name = "stub.exe", size_t size = 1024) {
    WriteAll(scratch / name, "MZ" + std::string(size - 2, '\0'));
    return " --stub " + Quote(scratch / name) + " ";
}

TEST(PackPackage, LayoutAndBlockFieldsRoundTripThroughInfo) {
    run::Scratch scratch;
    WriteAll(scratch / "app" / "bin" / "tool.exe", "program");
    WriteAll(scratch / "app" / "readme.txt", "read me");
    const std::string package = scratch / "setup.exe", stub = FakeStub(scratch);
    Result packed = Pack(Quote(package) + stub +
                         " --caption 'セットアップ' --destination 'Kavi\\Tool' --relative-to program-files"
                         " --shortcut-target app/bin/tool.exe --shortcut-name 'Kavi Tool' --start-menu on"
                         " --desktop on-locked --send-to off-locked --launch 'app\\bin\\tool.exe' " +
                         Quote(scratch / "app"));
    ASSERT_EQ(packed.status, 0) << packed.all();
    std::string bytes = ReadAll(package);
    ASSERT_GT(bytes.size(), 37888u);
    EXPECT_NE(fs::status(package).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(bytes.substr(0x24, 10), "LHA's SFX ");
    EXPECT_EQ(bytes[37888], 1);
    Result info = Kavisfx("info " + Quote(package));
    ASSERT_EQ(info.status, 0) << info.all();
    for (const char* expected : {"セットアップ", "destination:         <Program Files>\\Kavi\\Tool\n", "app\\bin\\tool.exe",
                                 "Kavi Tool", "3 (editable: yes, checked: yes)", "2 (editable: no, checked: yes)",
                                 "0 (editable: no, checked: no)"})
        EXPECT_TRUE(Has(info, expected)) << expected << " in\n" << info.all();
    ASSERT_EQ(Kavisfx("extract " + Quote(package) + " -C " + Quote(scratch / "out")).status, 0);
    EXPECT_EQ(ReadAll(scratch / "out/app/bin/tool.exe"), "program");

    // Without a dialog the block is the single byte 0 and the archive follows it.
    ASSERT_EQ(Pack(Quote(package) + stub + " --no-dialog " + Quote(scratch / "app/") + " --method lh0").status, 0);
    bytes = ReadAll(package);
    EXPECT_EQ(bytes[37888], 0);
    // Folders of the user's machine are named, not this one's current folder.
    EXPECT_TRUE(Has(Kavisfx("info " + Quote(package)), "destination:         <current folder>\n"));
    ASSERT_EQ(Pack(Quote(package + "2") + stub + " --destination 'Kavi\\Tool' " + Quote(scratch / "app")).status, 0);
    EXPECT_TRUE(Has(Kavisfx("info " + Quote(package + "2")), "destination:         <current folder>\\Kavi\\Tool\n"));
    fs::remove(package + "2");
    EXPECT_EQ(bytes.substr(37889 + 2, 5), "-lhd-") << "bin/ comes first, as a folder member";

    // An existing archive is appended as it is; a destination with a drive is shown as it stands.
    const std::string archive = scratch / "in.lzh";
    WriteAll(scratch / "a.txt", std::string(5000, 'a'));
    ASSERT_EQ(Pack(Quote(archive) + " --archive-only " + Quote(scratch / "a.txt")).status, 0);
    ASSERT_EQ(Pack(Quote(package) + stub + " --launch a.txt --destination 'C:\\Kavi' --archive " + Quote(archive)).status, 0);
    EXPECT_EQ(ReadAll(package).substr(37888 + 10 + 2 * (5 + 7)), ReadAll(archive));
    EXPECT_TRUE(Has(Kavisfx("info " + Quote(package)), "destination:         C:\\Kavi\n"));
}

// What a path holds, without opening a pipe.
std::string Holds(const fs::path& path) { return fs::is_fifo(path) ? "a pipe" : fs::exists(path) ? ReadAll(path) : "nothing"; }

// Every refusal exits with its message and leaves the output's place as it was (nothing,
// a pipe, an input, a file that is no package), and no temporary file; an archive packed
// as it is must decode whole, and the names in it that the stub would change are told.
TEST(PackRefusals, ExitWithAMessageAndLeaveNothingBehind) {
    run::Scratch scratch;
    const std::string stub = FakeStub(scratch), golden = KAVISFX_GOLDEN_DIR "/";
    FakeStub(scratch, "big-stub.exe", 37889);
    WriteAll(scratch / "data.bin", std::string(3 << 20, 'q'));
    const std::string whole = ReadAll(golden + "three-levels.lzh");
    WriteAll(scratch / "cut.lzh", whole.substr(0, whole.size() - 1));
    ASSERT_TRUE(lha::ArchiveBuilder().Add(lha::Member::Stored("Read.me", "1")).Add(lha::Member::Stored("read.ME", "2"))
                    .End().WriteTo((scratch / "case.lzh").string()));
    WriteAll(scratch / "notes.txt", "notes");
    ASSERT_EQ(::mkfifo((scratch / "pipe").c_str(), 0600), 0);
    for (const char* name : {"ok/a.txt", "device/aux.txt", "dot/name.", "case/Read.txt", "case/read.TXT", "colon/a:b.txt",
                             "utf8/\xFF\xFE.txt", "ffff/a\xEF\xBF\xBF/b", "sigma/σ", "sigma/ς"})
        WriteAll(scratch / name, "x");
    std::string caption255;
    for (int i = 0; i < 255; ++i) caption255 += "字";
    const std::string ok = " " + Quote(scratch / "ok") + " ";
    const struct {
        std::string arguments;
        int status;
        const char* says;
        const char* shell = "";
        const char* output = "out.exe";
    } cases[] = {
        {stub + "--caption " + std::string(256, 'c') + ok, 2, "255"},
        {stub + "--caption " + caption255 + " --shortcut-name " + std::string(300, 'n') + ok, 2, "--shortcut-name"},
        {stub + "--launch ok/missing.exe" + ok, 1, "missing.exe"},
        {stub + "--launch ok/a.txt/" + ok, 1, "a.txt"},
        {stub + "--shortcut-target ok/a.txt --shortcut-name a:b" + ok, 2, "--shortcut-name"},
        {stub + "--shortcut-target nowhere.exe" + ok, 1, "nowhere.exe"},
        // Paths the stub refuses, whatever --allow-missing accepts; a per-user package needs
        // a destination below the user's folder and a stub whose manifest it can rewrite.
        {stub + "--allow-missing --launch '..\\x.exe'" + ok, 2, "inside the destination"},
        {stub + "--allow-missing --shortcut-target 'C:\\x.exe'" + ok, 2, "inside the destination"},
        {stub + "--relative-to user --destination 'C:\\Tool'" + ok, 2, "--relative-to user"},
        {stub + "--relative-to user --destination Tool" + ok, 1, "highestAvailable"},
        {stub + "--no-dialog --caption x" + ok, 2, "--no-dialog"},
        {stub + "--start-menu on" + ok, 2, "--shortcut-target"},
        {stub + "--desktop sometimes --shortcut-target ok/a.txt" + ok, 2, "sometimes"},
        {stub + "--method lh9" + ok, 2, "--method"},
        {stub + "--frobnicate" + ok, 2, "--frobnicate"},
        {stub + "--folow-links" + ok, 2, "(did you mean '--follow-links'?)"},
        {"--stub i68" + ok, 2, "the choices are i686 (the default), x86_64, or a stub's file (did you mean 'i686'?)"},
        {stub + "--fast --best" + ok, 2, "--fast and --best contradict"},
        {stub + "--method lh5 --archive " + Quote(scratch / "ok/a.txt"), 2, "--method, --fast"},
        {"--archive-only --stub x86_64" + ok, 2, "no --stub"},
        {stub + "--allow-damaged" + ok, 2, "--allow-damaged is about --archive"},
        {stub + "--archive " + Quote(golden + "bad-crc-middle.lzh"), 1, "two is damaged"},
        {stub + "--archive " + Quote(scratch / "cut.lzh"), 1, "cut.lzh"},
        {stub, 2, "nothing"},
        {" --stub " + Quote(scratch / "big-stub.exe") + ok, 1, "37888"},
        {" --stub " + Quote(scratch / "ok/a.txt") + ok, 1, "MZ"},
        {stub + Quote(scratch / "device"), 1, "device"},
        {stub + Quote(scratch / "dot"), 1, "dot"},
        {stub + Quote(scratch / "case"), 1, "case"},
        {stub + Quote(scratch / "sigma"), 1, "differ only in case"},
        {stub + Quote(scratch / "colon"), 1, ":"},
        {stub + Quote(scratch / "utf8"), 1, "UTF-8"},
        {stub + Quote(scratch / "ffff"), 1, "U+FFFF"},
        {stub + Quote(scratch / "no-such-file"), 2, "no-such-file: No such file or directory"},
        {stub + "--archive " + Quote(scratch / "no-such.lzh"), 2, "no-such.lzh: No such file or directory"},
        {" --stub " + Quote(scratch / "no-stub.exe") + ok, 2, "no-stub.exe: No such file or directory"},
        // A file-size limit below the package's size makes a write fail midway.
        {stub + "--method lh0 " + Quote(scratch / "data.bin"), 1, "File too large", "ulimit -f 100; "},
        // The output's place stays what it is: a pipe (or a device such as /dev/null), an
        // input, a file that is neither a package nor an archive (replaced with --force).
        {stub + ok, 1, "not a regular file", "", "pipe"},
        {stub + ok, 2, "", "", "ok/a.txt"},
        {stub + ok, 2, "neither a package nor an LHA archive; --force", "", "notes.txt"},
        {stub + "--force" + ok, 0, "", "", "notes.txt"},
        {stub + ok, 0, "", "", "notes.txt"},  // a package is replaced
        {stub + "--allow-missing --launch gone.exe" + ok, 0, ""},
        {stub + "--allow-damaged --archive " + Quote(golden + "bad-crc-middle.lzh"), 0, ""},
        {stub + "--archive " + Quote(golden + "names-level0.lzh"), 0,
         "member ../../evil.txt climbs out of the destination; the stub writes it as evil.txt"},
        {stub + "--archive " + Quote(golden + "names-level0.lzh"), 0, "member sub/NUL: Windows does not accept a reserved device name"},
        {stub + "--archive " + Quote(scratch / "case.lzh"), 0, "members Read.me and read.ME are one name on Windows"},
    };
    for (const auto& c : cases) {
        const fs::path output = scratch / c.output;
        fs::remove(scratch / "out.exe");
        const std::string before = Holds(output);
        Result result = Shell(c.shell + Quote(KAVISFX_TOOL) + " pack " + Quote(output) + " " + c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments << "\n" << result.all();
        EXPECT_TRUE(Has(result, c.says)) << c.arguments << "\n" << result.all();
        const std::string after = Holds(output);
        EXPECT_TRUE(c.status ? after == before : after.rfind("MZ", 0) == 0) << c.arguments;
    }
    for (const auto& item : fs::directory_iterator(scratch.path()))
        EXPECT_EQ(item.path().filename().string().find(".kavisfx-"), std::string::npos) << item.path();
}

TEST(PackSigning, ASignedPackageStillExtracts) {
    ASSERT_EQ(Shell("command -v osslsigncode && command -v openssl").status, 0)
        << "osslsigncode or openssl is missing: run scripts/install-deps";
    run::Scratch scratch;
    const std::string package = scratch / "setup.exe", signedPackage = scratch / "signed.exe";
    WriteAll(scratch / "app" / "tool.exe", "program");
    WriteAll(scratch / "app" / "data.txt", std::string(20000, 'd'));
    Result packed = Pack(Quote(package) + " --stub x86_64 --launch app/tool.exe " + Quote(scratch / "app"));
    if (packed.status == 1 && Has(packed, "without the Windows stubs")) GTEST_SKIP() << "this kavisfx carries no stubs";
    ASSERT_EQ(packed.status, 0) << packed.all();
    Result sign = Shell("cd " + Quote(scratch.path().string()) +
                        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2"
                        " -subj /CN=kavisfx-test && osslsigncode sign -certs cert.pem -key key.pem -in " +
                        Quote(package) + " -out " + Quote(signedPackage));
    ASSERT_EQ(sign.status, 0) << sign.all();
    EXPECT_GT(fs::file_size(signedPackage), fs::file_size(package));
    ASSERT_EQ(Kavisfx("extract " + Quote(signedPackage) + " -C " + Quote(scratch / "out")).status, 0);
    EXPECT_EQ(ReadAll(scratch / "out/app/data.txt"), std::string(20000, 'd'));
    EXPECT_EQ(Kavisfx("info " + Quote(signedPackage)).status, 0);
}

// info names each path of a block that the stub will not use.
TEST(PackInfo, WarnsAboutPathsThatLeaveTheirFolder) {
    run::Scratch scratch;
    lha::ConfigBlock block;
    block.shortcutTarget = u"..\\tool.exe";
    block.launchProgram = u"C:\\Windows\\run.exe";
    block.shortcutName = u"..\\..\\Tool";
    ASSERT_TRUE(lha::WriteFile(scratch / "climbs.exe", lha::BuildPackage(block, {0})));
    Result climbs = Kavisfx("info " + Quote(scratch / "climbs.exe"));
    EXPECT_EQ(climbs.status, 0) << climbs.all();
    for (const char* named : {"shortcut target ..\\tool.exe", "launch program C:\\Windows\\run.exe", "shortcut name ..\\..\\Tool"})
        EXPECT_TRUE(Has(climbs, named)) << named << " in\n" << climbs.all();
    block.shortcutTarget = block.launchProgram = u"bin\\tool.exe";
    block.shortcutName = u"Tool";
    ASSERT_TRUE(lha::WriteFile(scratch / "stays.exe", lha::BuildPackage(block, {0})));
    EXPECT_EQ(Kavisfx("info " + Quote(scratch / "stays.exe")).err, "");
}

}  // namespace
