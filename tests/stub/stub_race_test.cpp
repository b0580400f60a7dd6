// The stub under Wine against a folder of its destination swapped for a link while it
// extracts: whatever the timing, no member lands outside the destination.
//
// Wine 8 cannot make a junction (FSCTL_SET_REPARSE_POINT fails with ERROR_NOT_SUPPORTED)
// and its CreateSymbolicLinkW makes nothing; a symbolic link made on the host is the
// reparse point it shows (by name: FILE_ATTRIBUTE_REPARSE_POINT), though it follows one
// even when asked not to (FILE_OPEN_REPARSE_POINT). So the swap happens on the host.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "support/file_bytes.h"

namespace fs = std::filesystem;

namespace {

// Swaps `folder` for a link to `elsewhere` and back, atomically (RENAME_EXCHANGE), until
// told to stop or `limit` swaps are done; counts the swaps. The link stands only for a
// moment at a time, the way an attacker times it: a check of the path mostly sees the
// folder, and what comes right after it may meet the link.
class FolderSwapper {
public:
    FolderSwapper(fs::path folder, fs::path elsewhere, int limit)
        : folder_(std::move(folder)), elsewhere_(std::move(elsewhere)), thread_([this, limit] { Run(limit); }) {}
    ~FolderSwapper() { Stop(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int swaps() const { return swaps_; }

private:
    static void Spin(std::chrono::microseconds span) {
        for (auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;) {
        }
    }
    void Run(int limit) {
        const fs::path link = folder_.string() + ".link";
        std::error_code error;
        fs::create_directory_symlink(elsewhere_, link, error);
        while (!stop_ && swaps_ < limit) {
            if (!fs::is_directory(fs::symlink_status(folder_))) {  // not made yet
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if (renameat2(AT_FDCWD, folder_.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) != 0) continue;
            Spin(std::chrono::microseconds(10));
            renameat2(AT_FDCWD, folder_.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
            ++swaps_;
            Spin(std::chrono::microseconds(40));
        }
        if (fs::is_symlink(folder_)) renameat2(AT_FDCWD, folder_.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
    }

    const fs::path folder_, elsewhere_;
    std::atomic<bool> stop_{false};
    std::atomic<int> swaps_{0};
    std::thread thread_;
};

// A run of the package under the suite's Wine session, started in `workDir`; killed if it
// has not ended when the object goes.
class StubProcess {
public:
    StubProcess(const std::string& package, const std::string& workDir) {
        const std::string session = KAVISFX_WINE_SESSION_DIR;
        std::string wine = ReadAll(session + "/wine"), display = ReadAll(session + "/display");
        wine.erase(wine.find_last_not_of('\n') + 1);
        display.erase(display.find_last_not_of('\n') + 1);
        available_ = !wine.empty() && !display.empty();
        if (!available_) return;
        pid_ = fork();
        if (pid_ != 0) return;
        setpgid(0, 0);
        if (chdir(workDir.c_str()) != 0) _exit(127);
        setenv("WINEPREFIX", (session + "/prefix").c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("DISPLAY", display.c_str(), 1);
        freopen("/dev/null", "w", stderr);
        execl(wine.c_str(), wine.c_str(), package.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ~StubProcess() { Wait(0); }
    bool available() const { return available_; }
    // True when the program ended within `seconds`; otherwise it is killed.
    bool Wait(double seconds) {
        if (pid_ <= 0) return false;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
        pid_t done = 0;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done == 0) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return done != 0;
    }

private:
    bool available_ = false;
    pid_t pid_ = -1;
};

// 1,500 small members in one folder, each opened through it; the folder is swapped for a
// link to a folder beside the destination, up to 20,000 times in a run of at most 8
// seconds, in up to five runs. The stub may refuse a member on a link (it then shows why
// and waits, and is ended), but nothing may be written outside the destination, not even
// in part.
TEST(StubRace, FolderSwappedForALinkWhileExtracting) {
    const fs::path run = fs::path(KAVISFX_RUNS_DIR) / "StubRace", dest = run / "work", outside = run / "outside";
    fs::remove_all(run);
    for (int i = 0; i < 1500; ++i) WriteAll(run / "source/sub" / ("member" + std::to_string(i) + ".txt"), std::string(64, 'm'));
    const std::string package = (run / "package.exe").string();
    const std::string pack = "cd '" + (run / "source").string() + "' && '" KAVISFX_TOOL "' pack '" + package +
                             "' --stub x86_64 --no-dialog --method lh0 sub >/dev/null 2>&1";
    ASSERT_EQ(std::system(pack.c_str()), 0) << pack;

    size_t leaked = 0;
    for (int attempt = 0; attempt < 8 && leaked == 0; ++attempt) {
        for (const fs::path& folder : {dest, outside}) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
        StubProcess stub(package, dest.string());
        ASSERT_TRUE(stub.available()) << "no Wine session in " KAVISFX_WINE_SESSION_DIR;
        FolderSwapper swapper(dest / "sub", outside, 100000);
        const bool ended = stub.Wait(5);
        swapper.Stop();
        EXPECT_GT(swapper.swaps(), 0) << "the folder was never swapped: the race did not run";
        for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(outside)) ++leaked;
        size_t written = 0;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dest / "sub", error)) written += entry.is_regular_file();
        EXPECT_EQ(leaked, 0u) << leaked << " entries outside the destination in run " << attempt + 1 << " after "
                              << swapper.swaps() << " swaps (" << written << " members in place, the stub "
                              << (ended ? "ended" : "was ended") << ")";
    }
}

}  // namespace
