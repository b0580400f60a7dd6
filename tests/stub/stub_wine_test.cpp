// The stub under Wine, driven like a user would: packages assembled from the built
// x86_64 stub, windows found by title and worked with keys and clicks.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "stub/stub_driver.h"
#include "support/archive_builder.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t ReadmeTime = 1262304000;  // 2010-01-01 00:00:00 UTC
const std::string ReadmeText = "Kavi SFX test package\r\n";

lha::Member StoredFile(const std::string& name, const std::string& content, uint32_t unixTime) {
    lha::Member member = lha::Member::Stored(name, content);
    member.time = unixTime;
    return member;
}

lha::Member StoredFile(const std::string& name, const lha::Bytes& content) {
    lha::Member member = lha::Member::Stored(name, "");
    member.data = content;
    member.originalSize = static_cast<uint32_t>(content.size());
    member.crc = lha::Crc16(content);
    return member;
}

lha::Member LaunchProbe() { return StoredFile("bin/launch_probe.exe", stub::ReadBytes(KAVISFX_LAUNCH_PROBE)); }

std::string ReadText(const std::string& path) {
    std::vector<uint8_t> bytes = stub::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

int64_t ModifiedTime(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_mtime) : -1;
}

std::string BackslashPath(const std::string& hostPath) {
    std::u16string wide = stub::WindowsPath(hostPath);
    return std::string(wide.begin(), wide.end());
}

class StubUnderWine : public testing::Test {
protected:
    void SetUp() override {
        session = stub::Session::Load();
        ASSERT_TRUE(session.Ready()) << session.problem;
        runDir = std::string(KAVISFX_RUNS_DIR) + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
        workDir = runDir + "/work";
        fs::remove_all(runDir);
        fs::create_directories(workDir);
        // The progress window opens below the mouse pointer, wherever an earlier test left it.
        ASSERT_TRUE(stub::Xdo(session, "mousemove 400 300"));
    }

    std::string Package(const lha::ConfigBlock& block, const lha::ArchiveBuilder& archive) {
        lha::Bytes package = stub::AssemblePackage(stub::StubPath("x86_64"), block, archive.Contents());
        std::string path = runDir + "/package.exe";
        EXPECT_FALSE(package.empty());
        EXPECT_TRUE(lha::WriteFile(path, package));
        return path;
    }

    std::vector<std::string> Links(const std::string& name) { return stub::LinkFiles(session, name); }

    // A package with the full block: shortcuts to and launch of the probe program.
    lha::ConfigBlock FullBlock(const std::u16string& caption, const std::string& linkName) {
        lha::ConfigBlock block;
        block.caption = caption;
        block.destination = stub::WindowsPath(runDir + "/dest");
        block.shortcutTarget = u"bin\\launch_probe.exe";
        block.launchProgram = u"bin\\launch_probe.exe";
        block.shortcutName = std::u16string(linkName.begin(), linkName.end());
        for (const std::string& link : Links(linkName)) fs::remove(link);
        return block;
    }

    void SaveScreenshot(const std::string& window, const std::string& name) {
        stub::Xdo(session, "windowfocus --sync " + window);  // painted as the active window
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  // a new window may still be sizing
        fs::create_directories(KAVISFX_SCREENSHOT_DIR);
        EXPECT_TRUE(stub::Screenshot(session, window, std::string(KAVISFX_SCREENSHOT_DIR) + "/" + name));
    }

    stub::Session session;
    std::string runDir, workDir;
};

// Without a block the stub asks nothing: it extracts into the folder it was started in,
// every member byte for byte with its time stamp, and makes no shortcut.
TEST_F(StubUnderWine, BlockMarkerZeroExtractsIntoTheCurrentFolder) {
    std::string lorem;
    for (int i = 0; lorem.size() < 300000; ++i) lorem += "line " + std::to_string(i % 977) + " of the packed text\n";
    fs::create_directories(runDir + "/jlha/text");
    ASSERT_TRUE(lha::WriteFile(runDir + "/jlha/text/lorem.txt", lha::ToBytes(lorem)));
    std::string jlha = "cd '" + runDir + "/jlha' && TZ=UTC touch -d '2015-06-07 08:09:10' text/lorem.txt && " +
                       "jlha ao52q ../lorem.lzh text/lorem.txt >/dev/null 2>&1";
    ASSERT_EQ(std::system(jlha.c_str()), 0) << "jlha failed: run scripts/install-deps";
    lha::Bytes compressed = stub::ReadBytes(runDir + "/lorem.lzh");
    ASSERT_GT(compressed.size(), 1u);
    compressed.pop_back();  // the archive's end mark; more members follow

    lha::Member level1 = lha::Member::Stored("guide.txt", "level one\n", 1);
    level1.time = lha::DosTime(2001, 2, 3, 4, 5, 6);
    level1.Ext(lha::ExtDirectory, std::string("docs\xff", 5));
    lha::ArchiveBuilder archive;
    archive.AddRaw(compressed)
        .Add(StoredFile("readme.txt", ReadmeText, ReadmeTime))
        .Add(level1)
        .Add(lha::Member::Folder("empty/dir"))
        .End();
    std::string package = Package(lha::ConfigBlock::Absent(), archive);

    stub::StubRun run(session, package, workDir);
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(60), 0);

    EXPECT_EQ(ReadText(workDir + "/text/lorem.txt"), lorem);
    EXPECT_EQ(ModifiedTime(workDir + "/text/lorem.txt"), 1433664550);
    EXPECT_EQ(ReadText(workDir + "/readme.txt"), ReadmeText);
    EXPECT_EQ(ModifiedTime(workDir + "/readme.txt"), ReadmeTime);
    EXPECT_EQ(ReadText(workDir + "/docs/guide.txt"), "level one\n");
    EXPECT_EQ(ModifiedTime(workDir + "/docs/guide.txt"), 981173106);  // 2001-02-03 04:05:06, local = UTC
    EXPECT_TRUE(fs::is_directory(workDir + "/empty/dir"));
}

// The user's UI language, as Wine takes it from the Unix locale: Japanese users see the
// stub's Japanese texts, everyone else the English ones. The screenshots of each go to
// the README.
struct Language {
    const char* name;
    const char* locale;
    const char* screenshotSuffix;
    const char* errorCaption;  // the system's default message box caption
};
const Language Languages[] = {{"Japanese", "ja_JP.UTF-8", "", "エラー"}, {"English", "en_US.UTF-8", "-en", "Error"}};

class StubInLanguage : public StubUnderWine, public testing::WithParamInterface<Language> {
protected:
    std::string ScreenshotName(const std::string& stem) { return stem + GetParam().screenshotSuffix + ".png"; }
};

INSTANTIATE_TEST_SUITE_P(Ui, StubInLanguage, testing::ValuesIn(Languages),
                         [](const testing::TestParamInfo<Language>& info) { return std::string(info.param.name); });

// OK in the dialog: extraction into the offered folder, exactly the checked shortcuts
// (Start menu: editable and checked; desktop: editable, unchecked; Send To: checked and
// fixed), each pointing at the extracted program, and then the program runs there.
TEST_P(StubInLanguage, DialogOkExtractsMakesTheCheckedShortcutsAndLaunches) {
    lha::ConfigBlock block = FullBlock(u"Kavi テスト", "KaviSfx Full");
    block.startMenuOption = 3;
    block.desktopOption = 1;
    block.sendToOption = 2;
    lha::ArchiveBuilder archive;
    archive.Add(StoredFile("readme.txt", ReadmeText, ReadmeTime)).Add(LaunchProbe()).End();
    stub::StubRun run(session, Package(block, archive), workDir, GetParam().locale);

    std::string dialog = stub::WaitForWindow(session, "Kavi テスト", 30);
    ASSERT_FALSE(dialog.empty()) << "the destination dialog did not appear";
    EXPECT_TRUE(stub::WaitForWindowGone(session, "Kavi SFX", 0)) << "the progress window shows before OK";
    SaveScreenshot(dialog, ScreenshotName("destination-dialog"));
    EXPECT_TRUE(stub::PressKeyToClose(session, dialog, "Kavi テスト", "Return"));
    EXPECT_EQ(run.Wait(30), 0);

    std::string dest = runDir + "/dest";
    EXPECT_EQ(ReadText(dest + "/readme.txt"), ReadmeText);
    EXPECT_EQ(ModifiedTime(dest + "/readme.txt"), ReadmeTime);
    EXPECT_FALSE(fs::exists(workDir + "/readme.txt"));

    std::vector<std::string> links = Links("KaviSfx Full");
    std::string target = BackslashPath(dest) + "\\bin\\launch_probe.exe";
    bool startMenu = false, sendTo = false;
    for (const std::string& link : links) {
        startMenu |= link.find("/ProgramData/Microsoft/Windows/Start Menu/Programs/") != std::string::npos;
        sendTo |= link.find("/AppData/Roaming/Microsoft/Windows/SendTo/") != std::string::npos;
        EXPECT_TRUE(stub::LinkRefersTo(link, target)) << link << " does not point to " << target;
    }
    EXPECT_EQ(links.size(), 2u);
    EXPECT_TRUE(startMenu);
    EXPECT_TRUE(sendTo);

    ASSERT_TRUE(stub::WaitForFile(dest + "/launched.txt", 20, 4)) << "the launch program did not run";
    std::string launched = stub::NarrowUtf16(stub::ReadBytes(dest + "/launched.txt"));
    EXPECT_NE(launched.find(target), std::string::npos) << launched;
    EXPECT_NE(launched.find("\n" + BackslashPath(dest) + "\n"), std::string::npos) << launched;
}

// Escape leaves everything as it was: no folder, no file, no shortcut, no launch.
TEST_F(StubUnderWine, DialogEscapeExtractsNothing) {
    lha::ConfigBlock block = FullBlock(u"Kavi Cancel", "KaviSfx Cancel");
    block.startMenuOption = 3;
    block.desktopOption = 3;
    lha::ArchiveBuilder archive;
    archive.Add(StoredFile("readme.txt", ReadmeText, ReadmeTime)).Add(LaunchProbe()).End();
    stub::StubRun run(session, Package(block, archive), workDir);

    std::string dialog = stub::WaitForWindow(session, "Kavi Cancel", 30);
    ASSERT_FALSE(dialog.empty());
    EXPECT_TRUE(stub::PressKeyToClose(session, dialog, "Kavi Cancel", "Escape"));
    EXPECT_EQ(run.Wait(30), 0);
    EXPECT_FALSE(fs::exists(runDir + "/dest"));
    EXPECT_TRUE(fs::is_empty(workDir));
    EXPECT_TRUE(Links("KaviSfx Cancel").empty());
}

// A destination typed two levels below an existing folder is created and used, and the
// launch program starts from there.
TEST_F(StubUnderWine, TypedDestinationTwoLevelsDownIsCreated) {
    lha::ConfigBlock block = FullBlock(u"Kavi Typed", "KaviSfx Typed");
    fs::create_directories(runDir + "/existing");
    lha::ArchiveBuilder archive;
    archive.Add(StoredFile("readme.txt", ReadmeText, ReadmeTime)).Add(LaunchProbe()).End();
    stub::StubRun run(session, Package(block, archive), workDir);

    std::string dialog = stub::WaitForWindow(session, "Kavi Typed", 30);
    ASSERT_FALSE(dialog.empty());
    std::string typed = BackslashPath(runDir + "/existing/one/two");
    EXPECT_TRUE(stub::TypeText(session, dialog, typed));  // replaces the selected default
    EXPECT_TRUE(stub::PressKeyToClose(session, dialog, "Kavi Typed", "Return"));
    EXPECT_EQ(run.Wait(30), 0);

    std::string dest = runDir + "/existing/one/two";
    EXPECT_EQ(ReadText(dest + "/readme.txt"), ReadmeText);
    EXPECT_FALSE(fs::exists(runDir + "/dest"));
    EXPECT_TRUE(stub::WaitForFile(dest + "/launched.txt", 20, 4)) << "the launch program did not run in " << dest;
    EXPECT_TRUE(Links("KaviSfx Typed").empty());
}

// A relative destination is prepared twice (on OK and at the start of the extraction);
// both must name the same folder, and the shortcut and the launch need its full path.
TEST_F(StubUnderWine, TypedRelativeDestinationIsTheSameFolderThroughout) {
    lha::ConfigBlock block = FullBlock(u"Kavi Relative", "KaviSfx Relative");
    block.startMenuOption = 3;
    lha::ArchiveBuilder archive;
    archive.Add(StoredFile("readme.txt", ReadmeText, ReadmeTime)).Add(LaunchProbe()).End();
    stub::StubRun run(session, Package(block, archive), workDir);

    std::string dialog = stub::WaitForWindow(session, "Kavi Relative", 30);
    ASSERT_FALSE(dialog.empty());
    EXPECT_TRUE(stub::TypeText(session, dialog, "rel\\deeper"));
    EXPECT_TRUE(stub::PressKeyToClose(session, dialog, "Kavi Relative", "Return"));
    EXPECT_EQ(run.Wait(30), 0);

    std::string dest = workDir + "/rel/deeper";
    EXPECT_EQ(ReadText(dest + "/readme.txt"), ReadmeText);
    EXPECT_FALSE(fs::exists(dest + "/rel"));
    EXPECT_TRUE(stub::WaitForFile(dest + "/launched.txt", 20, 4)) << "the launch program did not run in " << dest;
    std::vector<std::string> links = Links("KaviSfx Relative");
    ASSERT_EQ(links.size(), 1u);
    EXPECT_TRUE(stub::LinkRefersTo(links[0], BackslashPath(dest) + "\\bin\\launch_probe.exe"));
}

// A member whose CRC does not match stops the run after its message: the members before
// it stay, the ones after it are not written, and neither shortcut nor launch happens.
TEST_P(StubInLanguage, DamagedMemberStopsTheRunWithoutShortcutsOrLaunch) {
    lha::ConfigBlock block = FullBlock(u"Kavi Damaged", "KaviSfx Damaged");
    block.startMenuOption = 3;
    lha::Member damaged = StoredFile("broken.txt", "these bytes do not match the check", ReadmeTime);
    damaged.crc ^= 0x5A5A;
    lha::ArchiveBuilder archive;
    archive.Add(StoredFile("readme.txt", ReadmeText, ReadmeTime))
        .Add(LaunchProbe())
        .Add(damaged)
        .Add(StoredFile("after.txt", "never written", ReadmeTime))
        .End();
    stub::StubRun run(session, Package(block, archive), workDir, GetParam().locale);

    std::string dialog = stub::WaitForWindow(session, "Kavi Damaged", 30);
    ASSERT_FALSE(dialog.empty());
    EXPECT_TRUE(stub::PressKeyToClose(session, dialog, "Kavi Damaged", "Return"));
    std::string box = stub::WaitForWindow(session, GetParam().errorCaption, 30);  // no caption of its own
    ASSERT_FALSE(box.empty()) << "no message box for the damaged member";
    SaveScreenshot(box, ScreenshotName("damaged-member"));
    EXPECT_TRUE(stub::PressKeyToClose(session, box, GetParam().errorCaption, "Return"));
    EXPECT_EQ(run.Wait(30), 0);

    std::string dest = runDir + "/dest";
    EXPECT_EQ(ReadText(dest + "/readme.txt"), ReadmeText);
    EXPECT_FALSE(fs::exists(dest + "/after.txt"));
    EXPECT_TRUE(Links("KaviSfx Damaged").empty());
    EXPECT_FALSE(stub::WaitForFile(dest + "/launched.txt", 3)) << "the launch program ran after a failed member";
}

// Paths longer than the 260-unit buffers of the completion actions: the shortcut and the
// launch are left out, nothing is made under a cut name, and the program ends normally.
TEST_F(StubUnderWine, ShortcutAndLaunchPathsTooLongForTheirBuffersAreLeftOut) {
    std::string longName = "KaviSfxLong" + std::string(240, 'n');
    lha::ConfigBlock block = FullBlock(u"Kavi Long", longName);
    block.startMenuOption = 2;
    block.launchProgram = u"bin\\" + std::u16string(250, u'x') + u"\\launch_probe.exe";
    lha::ArchiveBuilder archive;
    archive.Add(StoredFile("readme.txt", ReadmeText, ReadmeTime)).Add(LaunchProbe()).End();
    stub::StubRun run(session, Package(block, archive), workDir);

    std::string dialog = stub::WaitForWindow(session, "Kavi Long", 30);
    ASSERT_FALSE(dialog.empty());
    EXPECT_TRUE(stub::PressKeyToClose(session, dialog, "Kavi Long", "Return"));
    EXPECT_EQ(run.Wait(30), 0);
    EXPECT_EQ(ReadText(runDir + "/dest/readme.txt"), ReadmeText);
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(session.prefix + "/drive_c", error);
         it != fs::recursive_directory_iterator(); it.increment(error))
        EXPECT_NE(it->path().filename().string().rfind("KaviSfxLong", 0), 0u) << it->path();
    EXPECT_FALSE(stub::WaitForFile(runDir + "/dest/launched.txt", 2));
}

// Stopping the run while a large member is written: either way (the abort button or
// closing the window) that member's file is gone, the earlier ones stay, and the
// program ends normally once the worker has stopped.
class StubAbort : public StubUnderWine {
protected:
    // Large enough that even a fast copy keeps the window busy for a few seconds.
    static constexpr uint32_t BigSize = 256u << 20;

    void TearDown() override {
        fs::remove(runDir + "/package.exe");
        fs::remove(workDir + "/big.bin");
    }

    // Written in pieces: the large member never sits in memory whole.
    std::string BigPackage() {
        lha::Member big = lha::Member::Stored("big.bin", "");
        big.originalSize = BigSize;
        big.packedSizeOverride = BigSize;
        big.crc = 0;  // never compared: every run of these tests stops inside this member
        lha::ArchiveBuilder archive;
        archive.Add(StoredFile("first.txt", "first", ReadmeTime))
            .Add(StoredFile("second.txt", "second", ReadmeTime))
            .Add(big);
        std::string path = runDir + "/package.exe";
        lha::Bytes head = stub::AssemblePackage(stub::StubPath("x86_64"), lha::ConfigBlock::Absent(), archive.Contents());
        EXPECT_FALSE(head.empty());
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
        std::vector<uint64_t> piece(1 << 17);
        uint64_t state = 0x9E3779B97F4A7C15ull;
        for (uint32_t written = 0; written < BigSize; written += piece.size() * sizeof state) {
            for (uint64_t& word : piece) {
                state ^= state << 13, state ^= state >> 7, state ^= state << 17;
                word = state;
            }
            out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size() * sizeof state));
        }
        out.put(0);  // the archive's end mark
        EXPECT_TRUE(out.good());
        return path;
    }

    // The progress window once the large member is being written.
    std::string WindowDuringBigMember() {
        EXPECT_TRUE(stub::WaitForFile(workDir + "/big.bin", 30, 1)) << "the large member was never started";
        std::string window = stub::WaitForWindow(session, "Kavi SFX", 10);
        EXPECT_FALSE(window.empty()) << "no visible progress window titled Kavi SFX";
        return window;
    }

    void ExpectStoppedCleanly(stub::StubRun& run) {
        EXPECT_EQ(run.Wait(30), 0);
        EXPECT_FALSE(fs::exists(workDir + "/big.bin")) << "the interrupted member was left behind";
        EXPECT_EQ(ReadText(workDir + "/first.txt"), "first");
        EXPECT_EQ(ReadText(workDir + "/second.txt"), "second");
    }
};

TEST_F(StubAbort, AbortButtonRemovesTheMemberInHand) {
    stub::StubRun run(session, BigPackage(), workDir);
    std::string window = WindowDuringBigMember();
    ASSERT_FALSE(window.empty());
    // The abort button's centre: client (109, 59) behind Wine's 3-pixel frame and
    // 22-pixel caption.
    EXPECT_TRUE(stub::Click(session, window, 3 + 109, 22 + 59));
    ExpectStoppedCleanly(run);
}

TEST_F(StubAbort, ClosingTheWindowRemovesTheMemberInHand) {
    stub::StubRun run(session, BigPackage(), workDir);
    std::string window = WindowDuringBigMember();
    ASSERT_FALSE(window.empty());
    EXPECT_TRUE(stub::PressKey(session, window, "alt+F4"));
    ExpectStoppedCleanly(run);
}

// Only for the picture of the progress window at work: taking it delays the input that
// the two tests above depend on, so this run is simply ended afterwards.
TEST_F(StubAbort, ProgressWindowShowsTheMemberAndItsProgress) {
    stub::StubRun run(session, BigPackage(), workDir);
    std::string window = WindowDuringBigMember();
    ASSERT_FALSE(window.empty());
    SaveScreenshot(window, "progress-window.png");
}

}  // namespace
