// The stub under Wine against a folder of its destination swapped for a link while it
// extracts. Wine 8 makes no junction (FSCTL_SET_REPARSE_POINT: ERROR_NOT_SUPPORTED) and no
// symbolic link; it shows one made on the host as a reparse point, so the swap is made there.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/file_bytes.h"

namespace fs = std::filesystem;

namespace {

// 1,500 members four folders below one folder, in up to twelve runs of four seconds. That
// folder is swapped for a link to a folder beside the destination and back, atomically,
// the link standing for a moment at a time, as an attacker would time it: a check of the
// path mostly sees the folder, what follows it may meet the link. The stub may refuse a
// member (it then waits and is ended); nothing may be written outside the destination.
// Each stub in turn; the i686 one is skipped, saying why, where 32-bit programs cannot run.
class StubRace : public testing::TestWithParam<std::string> {};

TEST_P(StubRace, FolderSwappedForALinkWhileExtracting) {
    const std::string arch = GetParam(), session = KAVISFX_WINE_SESSION_DIR;
    ASSERT_TRUE(fs::exists(session + "/display")) << "no Wine session in " << session;
    std::string wine32 = ReadAll(session + "/wine32");
    wine32.erase(wine32.find_last_not_of('\n') + 1);
    if (arch == "i686" && wine32 != "ok") GTEST_SKIP() << "the i686 stub cannot run here: " << wine32;
    const fs::path run = fs::path(KAVISFX_RUNS_DIR) / ("StubRace-" + arch), dest = run / "work", outside = run / "outside";
    const fs::path folder = dest / "sub", link = dest / "sub.link";
    fs::remove_all(run);
    for (int i = 0; i < 1500; ++i) WriteAll(run / "source/sub/a/b/c/d" / ("member" + std::to_string(i)), "m");
    const std::string package = (run / "package.exe").string();
    const std::string pack = "cd '" + (run / "source").string() + "' && '" KAVISFX_TOOL "' pack '" + package +
                             "' --stub " + arch + " --no-dialog --method lh0 sub >/dev/null 2>&1";
    ASSERT_EQ(std::system(pack.c_str()), 0) << pack;
    const std::string start = "cd '" + dest.string() + "' && WINEPREFIX='" + session + "/prefix' WINEDEBUG=-all DISPLAY=$(cat '" +
                              session + "/display') timeout -s KILL 4 $(cat '" + session + "/wine') '" + package + "' >/dev/null 2>&1";
    const auto spin = [](int microseconds) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds); std::chrono::steady_clock::now() < end;) {
        }
    };
    size_t leaked = 0;
    for (int attempt = 1; attempt <= 12 && leaked == 0; ++attempt) {
        for (const fs::path& empty : {dest, outside}) fs::remove_all(empty), fs::create_directories(empty);
        fs::create_directory_symlink(outside, link);
        std::atomic<bool> stop{false};
        std::atomic<int> swaps{0};
        std::thread swapper([&] {
            while (!stop) {
                if (renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) != 0) {  // not made yet
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                spin(10);
                renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
                ++swaps;
                spin(40);
            }
        });
        std::system(start.c_str());
        stop = true;
        swapper.join();
        EXPECT_GT(swaps, 0) << "the folder was never swapped: the race did not run";
        for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(outside)) ++leaked;
        EXPECT_EQ(leaked, 0u) << "entries outside the destination in run " << attempt << " after " << swaps << " swaps";
    }
}

INSTANTIATE_TEST_SUITE_P(Stubs, StubRace, testing::Values(std::string("x86_64"), std::string("i686")),
                         [](const auto& info) { return info.param; });

}  // namespace
