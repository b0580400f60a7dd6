// A package made by `kavisfx pack` with the x86_64 stub, run under Wine: the tree that
// goes in is the tree that comes out, and the block options reach the dialog, the
// shortcuts and the launch. (Trees of every method round-trip in pack_command_test.)
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "stub/stub_driver.h"

namespace fs = std::filesystem;

namespace {

// One file or folder of a tree, as far as a package has to keep it.
struct Entry {
    bool folder = false;
    std::string content;
    int64_t modified = 0;
    bool operator==(const Entry&) const = default;
};

// Every entry below `root` by its relative path; folder times are not kept by packages.
std::map<std::string, Entry> Snapshot(const std::string& root) {
    std::map<std::string, Entry> tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        Entry entry;
        entry.folder = it->is_directory();
        if (!entry.folder) {
            std::vector<uint8_t> bytes = stub::ReadBytes(it->path().string());
            entry.content.assign(bytes.begin(), bytes.end());
            struct stat info;
            if (stat(it->path().c_str(), &info) == 0) entry.modified = info.st_mtime;
        }
        tree[fs::relative(it->path(), root).string()] = entry;
    }
    return tree;
}

void WriteFile(const std::string& path, const std::string& content, int64_t modified) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
    struct utimbuf times = {static_cast<time_t>(modified), static_cast<time_t>(modified)};
    ASSERT_EQ(utime(path.c_str(), &times), 0) << path;
}

// OK in the dialog of a package with every block option: the files land in the offered
// folder below Program Files, the one checked shortcut is made under its name and points
// at the packed program, and that program is started.
class PackedDialogUnderWine : public testing::Test {
protected:
    static constexpr const char* LinkName = "Kavi Pack Tool";

    void SetUp() override {
        session = stub::Session::Load();
        ASSERT_TRUE(session.Ready()) << session.problem;
        runDir = std::string(KAVISFX_RUNS_DIR) + "/" + testing::UnitTest::GetInstance()->current_test_info()->name();
        sourceDir = runDir + "/source";
        workDir = runDir + "/work";
        package = runDir + "/package.exe";
        fs::remove_all(runDir);
        fs::create_directories(sourceDir);
        fs::create_directories(workDir);
        ASSERT_TRUE(stub::Xdo(session, "mousemove 400 300"));
        installRoot = session.prefix + "/drive_c/Program Files/KaviSfx Pack";
        Clean();
    }
    void TearDown() override { Clean(); }

    void Clean() {
        fs::remove_all(installRoot);
        for (const std::string& link : stub::LinkFiles(session, LinkName)) fs::remove(link);
    }

    void Pack(const std::string& options) {
        std::string command = "'" KAVISFX_TOOL "' pack '" + package + "' --stub x86_64 " + options + " '" +
                              sourceDir + "/' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    stub::Session session;
    std::string runDir, sourceDir, workDir, package, installRoot;
};

TEST_F(PackedDialogUnderWine, OkExtractsIntoTheDestinationMakesTheDesktopShortcutAndLaunches) {
    WriteFile(sourceDir + "/readme.txt", "Kavi SFX dialog package\r\n", 1262304001);
    std::vector<uint8_t> probe = stub::ReadBytes(KAVISFX_LAUNCH_PROBE);
    ASSERT_FALSE(probe.empty()) << KAVISFX_LAUNCH_PROBE;
    WriteFile(sourceDir + "/bin/launch_probe.exe", std::string(probe.begin(), probe.end()), 1300000003);
    Pack("--caption 'Kavi パック' --destination 'KaviSfx Pack/App' --relative-to program-files"
         " --shortcut-target bin/launch_probe.exe --shortcut-name '" + std::string(LinkName) + "' --desktop on"
         " --start-menu off --launch bin/launch_probe.exe");

    stub::StubRun run(session, package, workDir);
    std::string dialog = stub::WaitForWindow(session, "Kavi パック", 30);
    ASSERT_FALSE(dialog.empty()) << "the destination dialog did not appear";
    EXPECT_TRUE(stub::PressKeyToClose(session, dialog, "Kavi パック", "Return"));
    EXPECT_EQ(run.Wait(30), 0);

    std::string dest = installRoot + "/App";
    std::map<std::string, Entry> expected = Snapshot(sourceDir), extracted = Snapshot(dest);
    extracted.erase("launched.txt");
    EXPECT_TRUE(extracted == expected) << "the destination does not hold the packed tree";
    EXPECT_TRUE(fs::is_empty(workDir)) << "files were extracted into the current folder too";

    const std::string target = "C:\\Program Files\\KaviSfx Pack\\App\\bin\\launch_probe.exe";
    std::vector<std::string> links = stub::LinkFiles(session, LinkName);
    ASSERT_EQ(links.size(), 1u) << "expected the desktop shortcut alone";
    EXPECT_NE(links[0].find("/Desktop/"), std::string::npos) << links[0];
    EXPECT_TRUE(stub::LinkRefersTo(links[0], target)) << links[0] << " does not point to " << target;

    ASSERT_TRUE(stub::WaitForFile(dest + "/launched.txt", 20, 4)) << "the launch program did not run";
    std::string text = stub::NarrowUtf16(stub::ReadBytes(dest + "/launched.txt"));
    EXPECT_NE(text.find(target), std::string::npos) << text;
}

}  // namespace
