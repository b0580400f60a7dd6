// Package assembly and the Wine, Xvfb and xdotool plumbing of the stub tests.
#include "stub/stub_driver.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace stub {
namespace {

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string Environment(const Session& session) {
    return "DISPLAY=" + session.display + " ";
}

// Standard output of a shell command, or "" when it fails.
std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pclose(pipe) != 0) return "";
    return out;
}

void Pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

using Clock = std::chrono::steady_clock;
Clock::time_point Deadline(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

std::string StubPath(const std::string& arch) { return std::string(KAVISFX_STUB_DIR) + "/kavisfx-stub-" + arch + ".exe"; }

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

lha::Bytes AssemblePackage(const std::string& stubPath, const lha::ConfigBlock& block, const lha::Bytes& archive) {
    lha::Bytes package = ReadBytes(stubPath);
    if (package.empty() || package.size() > StubImageLimit) return {};
    package.resize(StubImageLimit, 0);
    lha::Bytes encoded = block.Encode();
    package.insert(package.end(), encoded.begin(), encoded.end());
    package.insert(package.end(), archive.begin(), archive.end());
    return package;
}

Session Session::Load() {
    Session session;
    std::string dir = KAVISFX_WINE_SESSION_DIR;
    session.display = ReadLine(dir + "/display");
    session.wine = ReadLine(dir + "/wine");
    session.prefix = dir + "/prefix";
    if (session.display.empty() || session.wine.empty())
        session.problem = "no Wine session in " + dir +
                          " (the stub_wine_session_start test sets it up; when it reports missing "
                          "tools, run scripts/install-deps)";
    else if (access(StubPath("x86_64").c_str(), R_OK) != 0)
        session.problem = "the stub " + StubPath("x86_64") + " was not built (configure with -DKAVISFX_STUBS=ON)";
    return session;
}

std::u16string WindowsPath(const std::string& hostPath) {
    std::u16string out = u"Z:";
    for (char c : hostPath) out += c == '/' ? u'\\' : static_cast<char16_t>(static_cast<unsigned char>(c));
    return out;
}

StubRun::StubRun(const Session& session, const std::string& package, const std::string& workDir,
                 const std::string& locale) {
    std::string log = workDir + "/../" + package.substr(package.find_last_of('/') + 1) + ".log";
    pid_ = fork();
    if (pid_ != 0) return;
    setpgid(0, 0);
    if (chdir(workDir.c_str()) != 0) _exit(127);
    FILE* out = std::freopen(log.c_str(), "w", stdout);
    if (out) dup2(fileno(out), 2);
    setenv("WINEPREFIX", session.prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("DISPLAY", session.display.c_str(), 1);
    setenv("TZ", "UTC", 1);
    setenv("LOCPATH", (std::string(KAVISFX_WINE_SESSION_DIR) + "/locale").c_str(), 1);
    setenv("LC_ALL", locale.c_str(), 1);
    setenv("LANG", locale.c_str(), 1);
    execl(session.wine.c_str(), session.wine.c_str(), package.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

StubRun::~StubRun() {
    if (pid_ > 0) Wait(0);
}

int StubRun::Wait(double seconds) {
    if (pid_ <= 0) return -1;
    auto deadline = Deadline(seconds);
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) break;
        if (done < 0 || Clock::now() >= deadline) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        Pause(0.05);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string WaitForWindow(const Session& session, const std::string& title, double seconds) {
    auto deadline = Deadline(seconds);
    std::string command = Environment(session) + "xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null";
    do {
        std::istringstream found(Capture(command));
        std::string window;
        if (found >> window) return window;
        Pause(0.1);
    } while (Clock::now() < deadline);
    return "";
}

bool WaitForWindowGone(const Session& session, const std::string& title, double seconds) {
    auto deadline = Deadline(seconds);
    std::string command = Environment(session) + "xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null";
    do {
        if (Capture(command).empty()) return true;
        Pause(0.1);
    } while (Clock::now() < deadline);
    return false;
}

bool Xdo(const Session& session, const std::string& arguments) {
    return std::system((Environment(session) + "xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

bool PressKey(const Session& session, const std::string& window, const std::string& key) {
    return Xdo(session, "windowfocus --sync " + window + " key " + key);
}

bool PressKeyToClose(const Session& session, const std::string& window, const std::string& title,
                     const std::string& key) {
    std::string command = Environment(session) + "xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null";
    for (int attempt = 0; attempt < 3; ++attempt) {
        PressKey(session, window, key);
        auto deadline = Deadline(3);
        do {
            std::istringstream visible(Capture(command));
            std::string id;
            bool shown = false;
            while (visible >> id) shown |= id == window;
            if (!shown) return true;
            Pause(0.1);
        } while (Clock::now() < deadline);
    }
    return false;
}

bool Click(const Session& session, const std::string& window, int x, int y) {
    return Xdo(session, "mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
                            " click 1");
}

bool TypeText(const Session& session, const std::string& window, const std::string& text) {
    return Xdo(session, "windowfocus --sync " + window + " type --delay 20 '" + text + "'");
}

bool Screenshot(const Session& session, const std::string& window, const std::string& pngPath) {
    std::string command = Environment(session) + "import -window " + window + " '" + pngPath + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool WaitForFile(const std::string& path, double seconds, uint64_t minimumSize) {
    auto deadline = Deadline(seconds);
    do {
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) >= minimumSize) return true;
        Pause(0.05);
    } while (Clock::now() < deadline);
    return false;
}

std::vector<std::string> LinkFiles(const Session& session, const std::string& name) {
    std::vector<std::string> found;
    for (const char* root : {"/drive_c/users", "/drive_c/ProgramData"}) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(session.prefix + root, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            if (it->path().filename() == name + ".lnk") found.push_back(it->path().string());
    }
    return found;
}

std::string NarrowUtf16(const std::vector<uint8_t>& bytes, size_t start) {
    std::string out;
    for (size_t i = start; i + 1 < bytes.size(); i += 2) out += static_cast<char>(bytes[i]);
    return out;
}

bool LinkRefersTo(const std::string& linkPath, const std::string& target) {
    std::vector<uint8_t> bytes = ReadBytes(linkPath);
    std::string ansi(bytes.begin(), bytes.end());
    return ansi.find(target) != std::string::npos || NarrowUtf16(bytes, 0).find(target) != std::string::npos ||
           NarrowUtf16(bytes, 1).find(target) != std::string::npos;
}

}  // namespace stub
