// The stub under Wine, driven like a user would: packages assembled from the built x86_64
// stub (or made by `kavisfx pack`), started in the suite's Wine session (wine_session),
// windows found by title and worked with xdotool on its Xvfb display.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/archive_builder.h"
#include "support/file_bytes.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& path, const std::string& text, int64_t unixTime) {
    WriteAll(path, text);
    fs::last_write_time(path, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(unixTime))));
}
// UTF-16 text read as ASCII: every second byte, from an even or an odd start.
std::string NarrowUtf16(const std::string& bytes, size_t start = 0) {
    std::string out;
    for (size_t i = start; i + 1 < bytes.size(); i += 2) out += bytes[i];
    return out;
}
// Z:\ path of a host path (Wine maps the host's root to drive Z:).
std::string WindowsPath(const std::string& hostPath) {
    std::string out = "Z:" + hostPath;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

// Polls `done` every 0.1 s until it holds or `seconds` have passed (it is tried once at least).
template <typename Done>
bool Until(double seconds, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// The session that wine_session started (display, wine, prefix); `problem` says why there is none.
struct Session {
    std::string wine, prefix, display, problem;

    static Session Load() {
        const std::string dir = KAVISFX_WINE_SESSION_DIR;
        Session s{ReadAll(dir + "/wine"), dir + "/prefix", ReadAll(dir + "/display"), ""};
        for (std::string* line : {&s.wine, &s.display}) line->erase(line->find_last_not_of('\n') + 1);
        if (s.display.empty() || s.wine.empty())
            s.problem = "no Wine session in " + dir + " (the stub_wine_session_start test sets it up; when it "
                        "reports missing tools, run scripts/install-deps)";
        return s;
    }

    // Runs a shell command on the session's display; its standard output, "" when it fails.
    std::string Shell(const std::string& command) const {
        std::string out;
        if (FILE* pipe = popen(("(DISPLAY=" + display + " " + command + ") 2>/dev/null").c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
            if (pclose(pipe) != 0) out = "";
        }
        return out;
    }
    bool Xdo(const std::string& arguments) const { return !Shell("xdotool " + arguments + " && echo ok").empty(); }
    // The visible windows whose title is `title` exactly.
    std::vector<std::string> Windows(const std::string& title) const {
        std::istringstream found(Shell("xdotool search --onlyvisible --name '^" + title + "$'"));
        return {std::istream_iterator<std::string>(found), std::istream_iterator<std::string>()};
    }
    std::string WaitForWindow(const std::string& title, double seconds) const {
        std::vector<std::string> found;
        Until(seconds, [&] { return !(found = Windows(title)).empty(); });
        return found.empty() ? "" : found[0];
    }
    // Presses `key` until the window is no longer visible; a key press that Wine drops now
    // and then is tried again, up to three times.
    bool PressKeyToClose(const std::string& window, const std::string& title, const std::string& key) const {
        for (int attempt = 0; attempt < 3; ++attempt) {
            Xdo("windowfocus --sync " + window + " key " + key);
            const auto gone = [&] {
                const auto shown = Windows(title);
                return std::find(shown.begin(), shown.end(), window) == shown.end();
            };
            if (Until(3, gone)) return true;
        }
        return false;
    }
    // A PNG of one window (with the frame Wine draws), painted as the active window.
    void Screenshot(const std::string& window, const std::string& name) const {
        Xdo("windowfocus --sync " + window);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));  // a new window may still be sizing
        fs::create_directories(KAVISFX_SCREENSHOT_DIR);
        EXPECT_FALSE(Shell("import -window " + window + " '" KAVISFX_SCREENSHOT_DIR "/" + name + "' && echo ok").empty());
    }
    // Every file in the prefix's drive C whose name starts with `name` (the shortcuts).
    std::vector<std::string> LinkFiles(const std::string& name) const {
        std::vector<std::string> found;
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(prefix + "/drive_c", error); it != fs::recursive_directory_iterator();
             it.increment(error))
            if (it->path().filename().string().rfind(name, 0) == 0) found.push_back(it->path().string());
        return found;
    }
};

// One run of a package under Wine, in its own working directory, with the Unix locale
// from which Wine takes the user's UI language (the stub speaks Japanese to Japanese users
// and English to everyone else).
class StubRun {
public:
    StubRun(const Session& session, const std::string& package, const std::string& workDir, const std::string& locale) {
        const std::string log = package + ".log";
        pid_ = fork();
        if (pid_ != 0) return;
        setpgid(0, 0);
        if (chdir(workDir.c_str()) != 0) _exit(127);
        if (FILE* out = std::freopen(log.c_str(), "w", stdout)) dup2(fileno(out), 2);
        const std::pair<const char*, std::string> environment[] = {
            {"WINEPREFIX", session.prefix}, {"WINEDEBUG", "-all"}, {"DISPLAY", session.display}, {"TZ", "UTC"},
            {"LC_ALL", locale}, {"LANG", locale}, {"LOCPATH", KAVISFX_WINE_SESSION_DIR "/locale"}};
        for (const auto& [name, value] : environment) setenv(name, value.c_str(), 1);
        execl(session.wine.c_str(), session.wine.c_str(), package.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    StubRun(const StubRun&) = delete;
    StubRun& operator=(const StubRun&) = delete;
    ~StubRun() { Wait(0); }
    // The exit status, or -1 when the program had not ended after `seconds` (it is killed).
    int Wait(double seconds) {
        int status = 0;
        pid_t done = 0;
        if (pid_ > 0 && !Until(seconds, [&] { return (done = waitpid(pid_, &status, WNOHANG)) != 0; })) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

class StubUnderWine : public testing::Test {
protected:
    void SetUp() override {
        session = Session::Load();
        ASSERT_TRUE(session.problem.empty()) << session.problem;
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        runDir = KAVISFX_RUNS_DIR "/" + name;
        workDir = runDir + "/work";
        fs::remove_all(runDir);
        fs::create_directories(workDir);
        // The progress window opens below the mouse pointer, wherever an earlier test left it.
        ASSERT_TRUE(session.Xdo("mousemove 400 300"));
    }

    // A package of the x86_64 stub made by `kavisfx pack` with `options`.
    std::string Pack(const std::string& options) {
        const std::string package = runDir + "/package.exe";
        const std::string command = "'" KAVISFX_TOOL "' pack '" + package + "' --stub x86_64 " + options + " 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return package;
    }

    Session session;
    std::string runDir, workDir;
};

// A run of a package whose archive holds a -lh5- member that jlha made, level-1 and level-2
// headers, a folder and the probe program; its block (unless there is none) names shortcuts
// to and the launch of the probe. (It writes launched.txt into its current folder, holding
// its own path and that folder.)
struct PackageRun {
    const char* name;
    const char* options;           // for `kavisfx pack`, beside the caption, the shortcut and the launch
    const char* caption = "";      // none: the block is the single byte 0, no questions asked
    const char* typed = nullptr;   // typed into the destination field: "/x" is the run folder's x, as Z:\ path
    const char* key = "Return";    // closes the dialog
    const char* dest = "";         // where the files go: in the run folder, or "C:/..." in the prefix; "" nowhere
    std::vector<std::string> links = {};  // a part of each shortcut's path
    bool launched = false;
    const char* errorCaption = nullptr;   // a member is damaged: the system's message box caption
    const char* screenshotSuffix = nullptr;  // the README's pictures of the dialog or the message box
    const char* locale = "ja_JP.UTF-8";
    bool packed = false;   // the tree packed by `kavisfx pack`, not an archive assembled for the test
    bool tooLong = false;  // the shortcut and launch paths do not fit the stub's 260-unit buffers
};
void PrintTo(const PackageRun& run, std::ostream* out) { *out << run.name; }
const std::string StartMenu = "/ProgramData/Microsoft/Windows/Start Menu/Programs/";
const PackageRun Runs[] = {
    // Without a block the stub asks nothing: it extracts into the folder it was started in.
    {.name = "NoBlock", .options = "--no-dialog", .dest = "work"},
    // OK: extraction into the offered folder, exactly the checked shortcuts, each pointing at
    // the extracted program, and then the program runs there; in both languages.
    {.name = "OkJapanese", .options = "--start-menu on --desktop off --send-to on-locked", .caption = "Kavi テスト", .dest = "dest",
     .links = {StartMenu, "/AppData/Roaming/Microsoft/Windows/SendTo/"}, .launched = true, .screenshotSuffix = ""},
    {.name = "OkEnglish", .options = "--start-menu on --desktop off --send-to on-locked", .caption = "Kavi テスト", .dest = "dest",
     .links = {StartMenu, "/AppData/Roaming/Microsoft/Windows/SendTo/"}, .launched = true, .screenshotSuffix = "-en",
     .locale = "en_US.UTF-8"},
    // Escape leaves everything as it was: no folder, no file, no shortcut, no launch.
    {.name = "Escape", .options = "--start-menu on --desktop on", .caption = "Kavi Cancel", .key = "Escape"},
    // A destination typed two levels below an existing folder is created and used.
    {.name = "TypedTwoLevelsDown", .options = "", .caption = "Kavi Typed", .typed = "/existing/one/two", .dest = "existing/one/two",
     .launched = true},
    // A relative destination is prepared on OK and again when the extraction starts: both
    // must name the same folder, and the shortcut and the launch need its full path.
    {.name = "TypedRelative", .options = "--start-menu on", .caption = "Kavi Relative", .typed = "rel\\deeper",
     .dest = "work/rel/deeper", .links = {StartMenu}, .launched = true},
    // So is a drive-relative one, and the drive alone: it is the current folder of that drive.
    {.name = "TypedDriveRelative", .options = "--start-menu on", .caption = "Kavi Drive", .typed = "Z:drel", .dest = "work/drel",
     .links = {StartMenu}, .launched = true},
    {.name = "TypedDriveOnly", .options = "", .caption = "Kavi Drive", .typed = "Z:", .dest = "work", .launched = true},
    // A member whose CRC does not match stops the run after its message: the members before
    // it stay, the ones after it are not written, and neither shortcut nor launch happens.
    {.name = "DamagedJapanese", .options = "--start-menu on", .caption = "Kavi Damaged", .dest = "dest", .errorCaption = "エラー",
     .screenshotSuffix = ""},
    {.name = "DamagedEnglish", .options = "--start-menu on", .caption = "Kavi Damaged", .dest = "dest", .errorCaption = "Error",
     .screenshotSuffix = "-en", .locale = "en_US.UTF-8"},
    // Paths longer than the completion actions' buffers: shortcut and launch are left out,
    // nothing is made under a cut name, and the program ends normally.
    {.name = "PathsTooLong", .options = "--start-menu on-locked --allow-missing", .caption = "Kavi Long", .dest = "dest",
     .tooLong = true},
    // A destination below Program Files.
    {.name = "Packed", .options = "--destination 'KaviSfx Pack/App' --relative-to program-files --desktop on",
     .caption = "Kavi パック", .dest = "C:/Program Files/KaviSfx Pack/App",
     .links = {"/Desktop/"}, .launched = true, .packed = true},
};

class StubRuns : public StubUnderWine, public testing::WithParamInterface<PackageRun> {};
INSTANTIATE_TEST_SUITE_P(Package, StubRuns, testing::ValuesIn(Runs),
                         [](const testing::TestParamInfo<PackageRun>& info) { return std::string(info.param.name); });

TEST_P(StubRuns, ExtractMakeShortcutsAndLaunchAsTheBlockSays) {
    const PackageRun& row = GetParam();
    const std::string caption = row.caption, linkPrefix = row.tooLong ? "KaviSfxLong" : "KaviSfx " + std::string(row.name);
    const std::string linkName = row.tooLong ? linkPrefix + std::string(240, 'n') : linkPrefix;
    const bool inPrefix = std::string(row.dest).rfind("C:", 0) == 0;
    const std::string dest = inPrefix ? session.prefix + "/drive_c" + (row.dest + 2) : runDir + "/" + row.dest;
    std::string windowsDest = inPrefix ? row.dest : WindowsPath(dest);
    std::replace(windowsDest.begin(), windowsDest.end(), '/', '\\');
    const std::string target = windowsDest + "\\bin\\launch_probe.exe", source = runDir + "/source/";
    const std::string probe = ReadAll(KAVISFX_LAUNCH_PROBE), readme = "Kavi SFX test package\r\n";
    ASSERT_FALSE(probe.empty()) << KAVISFX_LAUNCH_PROBE;
    for (const std::string& link : session.LinkFiles(linkPrefix)) fs::remove(link);
    fs::remove_all(session.prefix + "/drive_c/Program Files/KaviSfx Pack");
    fs::create_directories(runDir + "/existing");
    std::string lorem;
    for (int i = 0; lorem.size() < 300000; ++i) lorem += "line " + std::to_string(i % 977) + " of the packed text\n";
    WriteText(source + "text/lorem.txt", lorem, 1433664550);
    WriteText(source + "readme.txt", readme, 946684800);  // 2000-01-01, as the archive builder stores it
    WriteText(source + "docs/guide.txt", "level one\n", 981173106);  // 2001-02-03 04:05:06, local = UTC
    WriteText(source + "bin/launch_probe.exe", probe, 946684800);
    fs::create_directories(source + "empty/dir");

    std::string options = row.options;
    const bool block = *row.caption;
    if (block)
        options += " --caption '" + caption + "' --shortcut-target bin/launch_probe.exe --shortcut-name '" + linkName +
                   "' --launch 'bin\\" + (row.tooLong ? std::string(234, 'x') + "\\" : "") + "launch_probe.exe'";
    if (!row.packed) {
        if (block) options += " --destination '" + WindowsPath(runDir + "/dest") + "'";
        const std::string jlha = "cd '" + source + "' && jlha ao52q ../archive.lzh text/lorem.txt >/dev/null 2>&1";
        ASSERT_EQ(std::system(jlha.c_str()), 0) << "jlha failed: run scripts/install-deps";
        std::string compressed = ReadAll(runDir + "/archive.lzh");
        compressed.pop_back();  // the archive's end mark; more members follow
        lha::Member level1 = lha::Member::Stored("guide.txt", "level one\n", 1);
        level1.time = lha::DosTime(2001, 2, 3, 4, 5, 6);
        level1.Ext(lha::ExtDirectory, std::string("docs\xff", 5));
        lha::Member damaged = lha::Member::Stored("broken.txt", "these bytes do not match the check");
        damaged.crc ^= 0x5A5A;
        lha::ArchiveBuilder archive;
        archive.AddRaw(lha::ToBytes(compressed)).Add(lha::Member::Stored("readme.txt", readme)).Add(level1);
        archive.Add(lha::Member::Folder("empty/dir")).Add(lha::Member::Stored("bin/launch_probe.exe", probe));
        if (row.errorCaption) archive.Add(damaged).Add(lha::Member::Stored("after.txt", "never written"));
        ASSERT_TRUE(archive.End().WriteTo(runDir + "/archive.lzh"));
    }
    const std::string package = Pack(options + (row.packed ? " '" + source + "'" : " --archive '" + runDir + "/archive.lzh'"));

    StubRun run(session, package, workDir, row.locale);
    if (block) {
        const std::string dialog = session.WaitForWindow(caption, 30);
        ASSERT_FALSE(dialog.empty()) << "the destination dialog did not appear";
        EXPECT_TRUE(session.Windows("Kavi SFX").empty()) << "the progress window shows before OK";
        if (row.screenshotSuffix && !row.errorCaption)
            session.Screenshot(dialog, "destination-dialog" + std::string(row.screenshotSuffix) + ".png");
        if (row.typed) {
            const std::string typed = row.typed[0] == '/' ? WindowsPath(runDir + row.typed) : row.typed;
            EXPECT_TRUE(session.Xdo("windowfocus --sync " + dialog + " type --delay 20 '" + typed + "'"));
        }
        EXPECT_TRUE(session.PressKeyToClose(dialog, caption, row.key));
    }
    if (row.errorCaption) {
        const std::string box = session.WaitForWindow(row.errorCaption, 30);  // no caption of its own
        ASSERT_FALSE(box.empty()) << "no message box for the damaged member";
        session.Screenshot(box, "damaged-member" + std::string(row.screenshotSuffix) + ".png");
        EXPECT_TRUE(session.PressKeyToClose(box, row.errorCaption, "Return"));
    }
    EXPECT_EQ(run.Wait(60), 0);

    // Every member byte for byte with its time stamp where it should be, and nowhere else.
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(runDir, error); it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->path().filename() == "readme.txt" && it->path().string().rfind(source, 0) != 0)
            found.push_back(it->path().parent_path().string());
    EXPECT_EQ(found, *row.dest && !inPrefix ? std::vector<std::string>{dest} : std::vector<std::string>{});
    if (*row.dest) {
        for (const char* name : {"readme.txt", "text/lorem.txt", "docs/guide.txt", "bin/launch_probe.exe"}) {
            EXPECT_TRUE(ReadAll(dest + "/" + name) == ReadAll(source + name)) << name;
            EXPECT_TRUE(fs::last_write_time(dest + "/" + name, error) == fs::last_write_time(source + name)) << name;
        }
        EXPECT_TRUE(fs::is_directory(dest + "/empty/dir"));
        EXPECT_FALSE(fs::exists(dest + "/after.txt"));
    }
    const std::vector<std::string> links = session.LinkFiles(linkPrefix);
    EXPECT_EQ(links.size(), row.links.size());
    for (const std::string& link : links) {
        const std::string bytes = ReadAll(link);
        EXPECT_TRUE(bytes.find(target) != std::string::npos || NarrowUtf16(bytes).find(target) != std::string::npos ||
                    NarrowUtf16(bytes, 1).find(target) != std::string::npos) << link << " does not point to " << target;
    }
    for (const std::string& part : row.links)
        EXPECT_TRUE(std::any_of(links.begin(), links.end(), [&](const std::string& link) { return link.find(part) != std::string::npos; }))
            << "no shortcut in " << part;
    const std::string launched = dest + "/launched.txt";
    if (row.launched) {
        ASSERT_TRUE(Until(20, [&] { return ReadAll(launched).size() >= 4; })) << "the launch program did not run";
        const std::string text = NarrowUtf16(ReadAll(launched));
        EXPECT_NE(text.find(target), std::string::npos) << text;
        EXPECT_NE(text.find("\n" + windowsDest + "\n"), std::string::npos) << text;
    } else if (*row.dest) {
        EXPECT_FALSE(Until(3, [&] { return fs::exists(launched); })) << "the launch program ran";
    }
    fs::remove_all(session.prefix + "/drive_c/Program Files/KaviSfx Pack");
    for (const std::string& link : links) fs::remove(link);
}

// Stopping the run while a large member is written: either way (the abort button or
// closing the window) that member's file is gone, the earlier ones stay, and the program
// ends normally once the worker has stopped. The last run only takes the picture of the
// progress window at work (taking it delays the input the others depend on).
TEST_F(StubUnderWine, AbortRemovesTheMemberInHand) {
    constexpr uint32_t BigSize = 256u << 20;  // keeps even a fast copy busy for a few seconds
    lha::Member big = lha::Member::Stored("big.bin", "");
    big.originalSize = big.packedSizeOverride.emplace(BigSize);
    big.crc = 0;  // never compared: every run stops inside this member
    lha::ArchiveBuilder archive;
    archive.Add(lha::Member::Stored("first.txt", "first")).Add(lha::Member::Stored("second.txt", "second")).Add(big);
    ASSERT_TRUE(archive.WriteTo(runDir + "/big.lzh"));
    {
        // Written in pieces: the large member never sits in memory whole.
        std::ofstream out(runDir + "/big.lzh", std::ios::binary | std::ios::app);
        std::vector<uint64_t> piece(1 << 17);
        uint64_t state = 0x9E3779B97F4A7C15ull;
        for (uint32_t written = 0; written < BigSize; written += piece.size() * sizeof state) {
            for (uint64_t& word : piece) word = (state ^= state << 13, state ^= state >> 7, state ^= state << 17);
            out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size() * sizeof state));
        }
        out.put(0);  // the archive's end mark
        ASSERT_TRUE(out.good());
    }
    const std::string package = Pack("--no-dialog --archive '" + runDir + "/big.lzh'");
    // The abort button's centre: client (109, 59) behind Wine's 3-pixel frame and 22-pixel caption.
    for (const std::string action : {"mousemove --window %s 112 81 click 1", "windowfocus --sync %s key alt+F4", ""}) {
        SCOPED_TRACE(action);
        fs::remove_all(workDir);
        fs::create_directories(workDir);
        StubRun run(session, package, workDir, "ja_JP.UTF-8");
        // The member in hand is written under a temporary name; none may be left behind.
        auto temporaries = [&] {
            int count = 0;
            for (const auto& entry : fs::directory_iterator(workDir))
                count += entry.path().filename().string().starts_with(".kavisfx-");
            return count;
        };
        ASSERT_TRUE(Until(30, [&] { return temporaries() > 0; })) << "the large member was never started";
        const std::string window = session.WaitForWindow("Kavi SFX", 10);
        ASSERT_FALSE(window.empty()) << "no visible progress window titled Kavi SFX";
        if (action.empty()) {
            session.Screenshot(window, "progress-window.png");
            break;
        }
        const size_t at = action.find("%s");
        EXPECT_TRUE(session.Xdo(action.substr(0, at) + window + action.substr(at + 2)));
        EXPECT_EQ(run.Wait(30), 0);
        EXPECT_FALSE(fs::exists(workDir + "/big.bin")) << "the interrupted member was put in place";
        EXPECT_EQ(temporaries(), 0) << "the interrupted member was left behind";
        EXPECT_EQ(ReadAll(workDir + "/first.txt"), "first");
        EXPECT_EQ(ReadAll(workDir + "/second.txt"), "second");
    }
    fs::remove_all(runDir);
}

}  // namespace
