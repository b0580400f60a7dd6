// Drives the Windows stub under Wine for the tests: assembles packages from the built
// stub, starts them in the suite's Wine session, finds and works their windows with
// xdotool and takes screenshots.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/archive_builder.h"

namespace stub {

constexpr uint32_t StubImageLimit = 37888;

std::string StubPath(const std::string& arch);  // the built kavisfx-stub-<arch>.exe
std::vector<uint8_t> ReadBytes(const std::string& path);

// The stub padded to 37888 bytes, the configuration block, the archive. Empty when the
// stub cannot be read or is larger than its place in the package.
lha::Bytes AssemblePackage(const std::string& stubPath, const lha::ConfigBlock& block, const lha::Bytes& archive);

// The session that tests/stub/wine_session started; `problem` says why there is none.
struct Session {
    std::string wine, prefix, display;
    std::string problem;
    static Session Load();
    bool Ready() const { return problem.empty(); }
};

// Z:\ path of a host path (Wine maps the host's root to drive Z:).
std::u16string WindowsPath(const std::string& hostPath);

// One run of a package under Wine, in its own working directory, with the Unix locale
// from which Wine takes the user's UI language (the stub speaks Japanese to Japanese users
// and English to everyone else).
class StubRun {
public:
    StubRun(const Session& session, const std::string& package, const std::string& workDir,
            const std::string& locale = "ja_JP.UTF-8");
    StubRun(const StubRun&) = delete;
    StubRun& operator=(const StubRun&) = delete;
    ~StubRun();
    bool Started() const { return pid_ > 0; }
    // The exit status, or -1 when the program had not ended after `seconds` (it is killed).
    int Wait(double seconds);

private:
    pid_t pid_ = -1;
};

// The id of the visible window whose title matches `title` exactly; "" after `seconds`.
std::string WaitForWindow(const Session& session, const std::string& title, double seconds);
bool WaitForWindowGone(const Session& session, const std::string& title, double seconds);
// Runs xdotool with `arguments` on the session's display; true on success.
bool Xdo(const Session& session, const std::string& arguments);
bool PressKey(const Session& session, const std::string& window, const std::string& key);
// Presses `key` until the window (found by `title`) is no longer visible; a key press that
// Wine drops now and then is tried again, up to three times.
bool PressKeyToClose(const Session& session, const std::string& window, const std::string& title,
                     const std::string& key);
bool Click(const Session& session, const std::string& window, int x, int y);
bool TypeText(const Session& session, const std::string& window, const std::string& text);
// A PNG of one window (with the frame Wine draws).
bool Screenshot(const Session& session, const std::string& window, const std::string& pngPath);

// Waits until `path` exists (and holds at least `minimumSize` bytes).
bool WaitForFile(const std::string& path, double seconds, uint64_t minimumSize = 0);

// UTF-16 text read as ASCII: every second byte, from an even or an odd start.
std::string NarrowUtf16(const std::vector<uint8_t>& bytes, size_t start = 0);
// Every link file `name`.lnk in the prefix's user folders and ProgramData.
std::vector<std::string> LinkFiles(const Session& session, const std::string& name);
// Whether a link file names `target` (a Windows path) as ANSI or as UTF-16 text.
bool LinkRefersTo(const std::string& linkPath, const std::string& target);

}  // namespace stub
