// The stub under Wine, driven like a user would: packages assembled from each built stub,
// i686 and x86_64 (or made by `kavisfx pack`), started in the suite's Wine session
// (wine_session), windows found by title and worked with xdotool on its Xvfb display.
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

// Every file below `root` whose name starts with `name`.
std::vector<std::string> FilesNamed(const std::string& root, const std::string& name) {
    std::vector<std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->path().filename().string().rfind(name, 0) == 0) found.push_back(it->path().string());
    return found;
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

// The session that wine_session started (display, wine, prefix); `problem` says why there is
// none, `wine32` why 32-bit programs cannot run in it ("ok" when they can).
struct Session {
    std::string wine, prefix, display, wine32, problem, user;

    static Session Load() {
        const std::string dir = KAVISFX_WINE_SESSION_DIR;
        Session s{ReadAll(dir + "/wine"), dir + "/prefix", ReadAll(dir + "/display"), ReadAll(dir + "/wine32"), "", ""};
        for (std::string* line : {&s.wine, &s.display, &s.wine32}) line->erase(line->find_last_not_of('\n') + 1);
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(s.prefix + "/drive_c/users", error))
            if (entry.path().filename() != "Public") s.user = entry.path().filename().string();
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
    std::vector<std::string> LinkFiles(const std::string& name) const { return FilesNamed(prefix + "/drive_c", name); }
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
            // Wine's trace of each message box's text goes to the log, where the tests read it.
            {"WINEPREFIX", session.prefix}, {"WINEDEBUG", "-all,trace+msgbox"}, {"DISPLAY", session.display}, {"TZ", "UTC"},
            {"WINEDLLOVERRIDES", "winemenubuilder.exe=d"}, {"HOME", KAVISFX_WINE_SESSION_DIR "/home"},
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

// Every test runs once with each stub; the i686 one is skipped, saying why, where 32-bit
// programs cannot run.
class StubUnderWine : public testing::Test {
protected:
    virtual std::string Arch() const = 0;

    void SetUp() override {
        session = Session::Load();
        ASSERT_TRUE(session.problem.empty()) << session.problem;
        arch = Arch();
        probe = KAVISFX_LAUNCH_PROBE "-" + arch + ".exe";
        if (arch == "i686" && session.wine32 != "ok")
            GTEST_SKIP() << "the i686 stub cannot run here: " << (session.wine32.empty() ? "no Wine session" : session.wine32);
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        runDir = KAVISFX_RUNS_DIR "/" + name;
        workDir = runDir + "/work";
        fs::remove_all(runDir);
        fs::create_directories(workDir);
        // The progress window opens below the mouse pointer, wherever an earlier test left it.
        ASSERT_TRUE(session.Xdo("mousemove 400 300"));
    }

    // A package of this test's stub made by `kavisfx pack` with `options`.
    std::string Pack(const std::string& options) {
        const std::string package = runDir + "/package.exe";
        const std::string command = "'" KAVISFX_TOOL "' pack '" + package + "' --stub " + arch + " " + options + " 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return package;
    }

    void RemovePackedFolders() {
        for (const std::string folder : {"Program Files", "Program Files (x86)"})
            fs::remove_all(session.prefix + "/drive_c/" + folder + "/KaviSfx Pack");
        fs::remove_all(session.prefix + "/drive_c/users/" + session.user + "/AppData/Local/Programs/KaviSfx User");
    }
    // Gives a package made with --no-dialog (its block the one byte 0) the block `block`
    // instead, followed by `archive` bytes of its archive (all of it by default).
    static void ReplaceBlock(const std::string& package, const lha::Bytes& block, size_t archive = std::string::npos) {
        constexpr size_t BlockOffset = 37888;
        const std::string bytes = ReadAll(package);
        WriteAll(package, bytes.substr(0, BlockOffset) + std::string(block.begin(), block.end()) +
                              bytes.substr(BlockOffset + 1, archive));
    }


    Session session;
    std::string arch, probe, runDir, workDir;
};
const auto Arches = testing::Values(std::string("x86_64"), std::string("i686"));

// A run of a package whose archive holds a -lh5- member that jlha made, level-1 and level-2
// headers, a folder and the probe program; its block (unless there is none) names shortcuts
// to and the launch of the probe. (It writes launched.txt into its current folder, holding
// its own path, that folder and whether the progress window was still shown.)
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
    const char* locale = "en_US.UTF-8";
    bool packed = false;   // the tree packed by `kavisfx pack`, not an archive assembled for the test
    bool tooLong = false;  // the shortcut and launch paths do not fit the stub's 260-unit buffers
    int exit = 0;  // the exit code (Wine hands its Unix parent the low 8 bits: 1223 is seen as 199)
    const char* box = nullptr;          // the caption of the message box that ends the dialog or the run
    bool boxInDialog = false;           // that box answers OK in the dialog, which then ends
    const char* message = nullptr;      // a part of what the boxes say, as Wine's trace shows it
    bool ownFolders = false;            // the shortcuts are the user's own, none for every user
    bool commonUnwritable = false;      // the folders for every user and Send To cannot be written
    // A block written by the test, with paths `kavisfx pack` refuses ("@probe": a copy of the probe in the run folder).
    const char16_t *target = nullptr, *launch = nullptr, *shortcutName = nullptr;
    // A package cut short: its first `keep` bytes (past any stub within its budget, short of
    // the block), or a block of these bytes and no archive;
    // or one kept in a folder too deep for the path of its own file.
    size_t keep = std::string::npos;
    lha::Bytes cutBlock = {};
    bool deepFolder = false;
};
void PrintTo(const PackageRun& run, std::ostream* out) { *out << run.name; }
const std::string StartMenu = "/ProgramData/Microsoft/Windows/Start Menu/Programs/", SendTo = "/AppData/Roaming/Microsoft/Windows/SendTo/";
const std::string OwnStartMenu = "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/";
const char Japanese[] = "ja_JP.UTF-8", DamagedPackage[] = "The package is damaged or incomplete: download it again.";
const char NoFolder[] = "The folder cannot be created.";
#define LONG_NAME "llllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllll" \
                  "llllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllllll"
const PackageRun Runs[] = {
    // Without a block the stub asks nothing: it extracts into the folder it was started in.
    {.name = "NoBlock", .options = "--no-dialog", .dest = "work", .locale = Japanese},
    // OK: extraction into the offered folder, exactly the checked shortcuts, each pointing at
    // the extracted program, and then the program runs there; in both languages.
    {.name = "OkJapanese", .options = "--start-menu on --desktop off --send-to on-locked", .caption = "Kavi テスト", .dest = "dest",
     .links = {StartMenu, SendTo}, .launched = true, .screenshotSuffix = "", .locale = Japanese},
    {.name = "OkEnglish", .options = "--start-menu on --desktop off --send-to on-locked", .caption = "Kavi テスト", .dest = "dest",
     .links = {StartMenu, SendTo}, .launched = true, .screenshotSuffix = "-en"},
    // Escape leaves everything as it was: no folder, no file, no shortcut, no launch.
    {.name = "Escape", .options = "--start-menu on --desktop on", .caption = "Kavi Cancel", .key = "Escape", .exit = 1223},
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
     .screenshotSuffix = "", .locale = Japanese, .exit = 1},
    {.name = "DamagedEnglish", .options = "--start-menu on", .caption = "Kavi Damaged", .dest = "dest", .errorCaption = "Error",
     .screenshotSuffix = "-en", .exit = 1, .message = "broken.txt is damaged."},
    // Paths longer than the completion actions' buffers: shortcut and launch are left out,
    // nothing is made under a cut name, and the one message at the end names them.
    {.name = "PathsTooLong", .options = "--start-menu on-locked --allow-missing", .caption = "Kavi Long", .dest = "dest",
     .tooLong = true, .exit = 2, .box = "Error", .message = "KaviSfxLongnnn"},
    // Paths of the block that leave the destination or the shortcut folder are named, and
    // that shortcut or that launch is not made.
    {.name = "ClimbingTargetAndLaunch", .options = "", .caption = "Kavi Climb", .dest = "dest", .exit = 2, .box = "Error",
     .message = "launch_probe.exe lies outside the destination: not used.", .target = u"\\..\\bin\\launch_probe.exe", .launch = u"..\\launch_probe.exe"},
    {.name = "ClimbingName", .options = "", .caption = "Kavi Climb", .dest = "dest", .exit = 2, .box = "Error",
     .message = "KaviSfx ClimbingName lies outside the destination: not used.", .launch = u"@probe", .shortcutName = u"..\\..\\KaviSfx ClimbingName"},
    // A standard user cannot write the folders for every user: the Start menu and desktop
    // shortcuts go to the user's own, and the Send To one that cannot be made is named.
    {.name = "CommonFoldersUnwritable", .options = "--start-menu on --desktop on --send-to on", .caption = "Kavi User", .dest = "dest",
     .links = {OwnStartMenu, "/Desktop/"}, .launched = true, .exit = 2, .box = "Error",
     .message = "KaviSfx CommonFoldersUnwritable.lnk cannot be created or started.", .ownFolders = true, .commonUnwritable = true},
    // A package for the user who runs it: below %LOCALAPPDATA%, the user's own shortcuts.
    {.name = "PerUser", .options = "--destination 'KaviSfx User/App' --relative-to user --start-menu on --desktop on", .caption = "Kavi User",
     .dest = "C:/users/@user/AppData/Local/Programs/KaviSfx User/App", .links = {OwnStartMenu, "/Desktop/"}, .launched = true,
     .packed = true, .ownFolders = true},
    // A folder that cannot be made is named with the system's reason (as the trace writes
    // it); so is a destination longer than a path may be, not cut to fit.
    {.name = "FolderCannotBeCreated", .options = "", .caption = "Kavi NoFolder", .typed = "Z:\\proc\\kavisfx\\x", .exit = 6,
     .box = NoFolder, .boxInDialog = true, .message = "proc\\\\kavisfx\\\\x\\n\\n"},
    {.name = "DestinationTooLong", .options = "--destination 'KaviSfx " LONG_NAME "'", .caption = "Kavi Long Destination",
     .packed = true, .exit = 6, .box = NoFolder, .boxInDialog = true, .message = "llllll\\n\\n"},
    // A package cut short, or kept too deep: the stub says so before any window, and ends.
    {.name = "ShorterThanTheBlock", .options = "--no-dialog", .exit = 3, .box = "Kavi SFX", .message = DamagedPackage, .keep = 37000},
    {.name = "BlockCut", .options = "--no-dialog", .exit = 3, .box = "Kavi SFX", .message = DamagedPackage, .cutBlock = {1, 0, 0}},
    {.name = "TextPastTheEnd", .options = "--no-dialog", .exit = 3, .box = "Kavi SFX", .message = DamagedPackage, .cutBlock = {1, 200, 'K', 0}},
    {.name = "NoArchive", .options = "--no-dialog", .exit = 3, .box = "Kavi SFX", .message = DamagedPackage, .cutBlock = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {.name = "PathTooLong", .options = "--no-dialog", .exit = 4, .box = "Error", .message = "too long", .deepFolder = true},
    // A caption longer than the title bars ends in an ellipsis.
    {.name = "LongCaption", .options = "", .caption = "Kavi Long Caption Much Wider Than Any Title Bar", .dest = "dest", .launched = true},
    // A destination below Program Files.
    {.name = "Packed", .options = "--destination 'KaviSfx Pack/App' --relative-to program-files --desktop on", .caption = "Kavi パック",
     .dest = "C:/Program Files/KaviSfx Pack/App", .links = {"/Desktop/"}, .launched = true, .locale = Japanese, .packed = true},
};

// The title the stub shows for `caption` (the tests' captions are narrow but for a few units).
std::string ShownCaption(const std::string& caption) { return caption.size() > 30 ? caption.substr(0, 29) + "\u2026" : caption; }

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }


class StubRuns : public StubUnderWine, public testing::WithParamInterface<std::tuple<PackageRun, std::string>> {
    std::string Arch() const override { return std::get<1>(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(Package, StubRuns, testing::Combine(testing::ValuesIn(Runs), Arches), [](const auto& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param);
});

TEST_P(StubRuns, ExtractMakeShortcutsAndLaunchAsTheBlockSays) {
    const PackageRun& row = std::get<0>(GetParam());
    const std::string caption = row.caption, linkPrefix = row.tooLong ? "KaviSfxLong" : "KaviSfx " + std::string(row.name);
    const std::string linkName = row.tooLong ? linkPrefix + std::string(240, 'n') : linkPrefix;
    std::string rowDest = row.dest;
    const bool inPrefix = rowDest.rfind("C:", 0) == 0;
    // A 32-bit program's Program Files folder is the one for 32-bit programs.
    if (inPrefix && arch == "i686" && rowDest.find("Program Files") != std::string::npos)
        rowDest.replace(rowDest.find("Program Files"), 13, "Program Files (x86)");
    if (rowDest.find("@user") != std::string::npos) rowDest.replace(rowDest.find("@user"), 5, session.user);
    const std::string dest = inPrefix ? session.prefix + "/drive_c" + rowDest.substr(2) : runDir + "/" + row.dest;
    std::string windowsDest = inPrefix ? rowDest : WindowsPath(dest);
    std::replace(windowsDest.begin(), windowsDest.end(), '/', '\\');
    const std::string target = windowsDest + "\\bin\\launch_probe.exe", source = runDir + "/source/";
    const std::string probeBytes = ReadAll(probe), readme = "Kavi SFX test package\r\n";
    ASSERT_FALSE(probeBytes.empty()) << probe;
    for (const std::string& link : session.LinkFiles(linkPrefix)) fs::remove(link);
    RemovePackedFolders();
    fs::create_directories(runDir + "/existing");
    std::string lorem;
    for (int i = 0; lorem.size() < 300000; ++i) lorem += "line " + std::to_string(i % 977) + " of the packed text\n";
    WriteText(source + "text/lorem.txt", lorem, 1433664550);
    WriteText(source + "readme.txt", readme, 946684800);  // 2000-01-01, as the archive builder stores it
    WriteText(source + "docs/guide.txt", "level one\n", 981173106);  // 2001-02-03 04:05:06, local = UTC
    WriteText(source + "bin/launch_probe.exe", probeBytes, 946684800);
    fs::create_directories(source + "empty/dir");

    std::string options = row.options;
    const bool block = *row.caption, handMade = row.target || row.launch || row.shortcutName;
    if (handMade) options = "--no-dialog";
    if (block && !handMade)
        options += " --caption '" + caption + "' --shortcut-target bin/launch_probe.exe --shortcut-name '" + linkName +
                   "' --launch 'bin\\" + (row.tooLong ? std::string(234, 'x') + "\\" : "") + "launch_probe.exe'";
    if (!row.packed) {
        if (block && !handMade) options += " --destination '" + WindowsPath(runDir + "/dest") + "'";
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
        archive.Add(lha::Member::Folder("empty/dir")).Add(lha::Member::Stored("bin/launch_probe.exe", probeBytes));
        if (row.errorCaption) archive.Add(damaged).Add(lha::Member::Stored("after.txt", "never written"));
        ASSERT_TRUE(archive.End().WriteTo(runDir + "/archive.lzh"));
    }
    if (row.errorCaption) options += " --allow-damaged";
    std::string package = Pack(options + (row.packed ? " '" + source + "'" : " --archive '" + runDir + "/archive.lzh'"));
    if (!row.cutBlock.empty()) ReplaceBlock(package, row.cutBlock, 0);
    WriteAll(package, ReadAll(package).substr(0, row.keep));
    if (row.deepFolder) {
        if (arch == "x86_64") GTEST_SKIP() << "64-bit Wine does not start a program whose path has 260 units or more";
        // Its Windows path just over the 259 units the stub takes.
        const std::string deep = runDir + "/" + std::string(260 - WindowsPath(runDir).size() - 12, 'd') + "/package.exe";
        fs::create_directories(fs::path(deep).parent_path());
        fs::rename(package, deep);
        package = deep;
    }
    if (handMade) {  // the Start menu and desktop shortcuts editable and checked
        WriteAll(runDir + "/launch_probe.exe", probeBytes);  // where a climbing launch would find one
        const std::u16string probeCopy = Utf16(WindowsPath(runDir + "/launch_probe.exe")), inBin = u"bin\\launch_probe.exe";
        const std::u16string launch = !row.launch ? inBin : row.launch == std::u16string(u"@probe") ? probeCopy : row.launch;
        ReplaceBlock(package, lha::ConfigBlock{true, Utf16(caption), Utf16(WindowsPath(runDir + "/dest")), row.target ? row.target : inBin,
                                               launch, row.shortcutName ? row.shortcutName : Utf16(linkName), 0, 3, 3, 0}.Encode());
    }
    // chattr +i, as root ignores file modes; wine_session undoes it after a test that stopped half-way.
    const std::string users = "'" + session.prefix + "/drive_c/users/", unwritable = "'" + session.prefix + "/drive_c" +
        StartMenu + "' " + users + "Public/Desktop' " + users + session.user + "/AppData/Roaming/Microsoft/Windows/SendTo'";
    ASSERT_TRUE(!row.commonUnwritable || std::system(("chattr +i " + unwritable).c_str()) == 0) << "chattr +i " << unwritable;

    StubRun run(session, package, workDir, row.locale);
    if (block) {
        const std::string title = ShownCaption(caption);
        const std::string dialog = session.WaitForWindow(title, 30);
        ASSERT_FALSE(dialog.empty()) << "the destination dialog did not appear";
        EXPECT_TRUE(session.Windows("Kavi SFX").empty()) << "the progress window shows before OK";
        if (row.screenshotSuffix && !row.errorCaption)
            session.Screenshot(dialog, "destination-dialog" + std::string(row.screenshotSuffix) + ".png");
        if (row.typed) {
            const std::string typed = row.typed[0] == '/' ? WindowsPath(runDir + row.typed) : row.typed;
            EXPECT_TRUE(session.Xdo("windowfocus --sync " + dialog + " type --delay 20 '" + typed + "'"));
        }
        if (row.boxInDialog)
            EXPECT_TRUE(session.Xdo("windowfocus --sync " + dialog + " key " + row.key));
        else
            EXPECT_TRUE(session.PressKeyToClose(dialog, title, row.key));
    }
    if (row.errorCaption) {
        const std::string box = session.WaitForWindow(row.errorCaption, 30);  // no caption of its own
        ASSERT_FALSE(box.empty()) << "no message box for the damaged member";
        session.Screenshot(box, "damaged-member" + std::string(row.screenshotSuffix) + ".png");
        EXPECT_TRUE(session.PressKeyToClose(box, row.errorCaption, "Return"));
    }
    if (row.box) {
        const std::string box = session.WaitForWindow(row.box, 30);
        ASSERT_FALSE(box.empty()) << "no message box titled " << row.box;
        EXPECT_TRUE(session.PressKeyToClose(box, row.box, "Return"));
    }
    EXPECT_EQ(run.Wait(60), row.exit & 0xFF);
    if (row.commonUnwritable) std::system(("chattr -i " + unwritable).c_str());
    if (row.message) {
        const std::string log = ReadAll(package + ".log");
        EXPECT_NE(log.find(row.message), std::string::npos) << "no message saying " << row.message << ":\n" << log;
    }

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
        EXPECT_FALSE(row.ownFolders && (link.find("/ProgramData/") != std::string::npos || link.find("/Public/") != std::string::npos))
            << link << " is a shortcut for every user";
    }
    // Wine's menu builder, which would copy each shortcut into the home folder, stays off.
    EXPECT_EQ(FilesNamed(KAVISFX_WINE_SESSION_DIR "/home", linkPrefix), std::vector<std::string>{}) << "outside the Wine prefix";
    for (const std::string& part : row.links)
        EXPECT_TRUE(std::any_of(links.begin(), links.end(), [&](const std::string& link) { return link.find(part) != std::string::npos; }))
            << "no shortcut in " << part;
    const std::string launched = dest + "/launched.txt";
    if (row.launched) {
        ASSERT_TRUE(Until(20, [&] { return ReadAll(launched).size() >= 4; })) << "the launch program did not run";
        const std::string text = NarrowUtf16(ReadAll(launched));
        EXPECT_NE(text.find(target), std::string::npos) << text;
        EXPECT_NE(text.find("\n" + windowsDest + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("progress window gone"), std::string::npos) << "started behind the progress window";
    } else if (*row.dest) {
        EXPECT_FALSE(Until(3, [&] { return fs::exists(launched); })) << "the launch program ran";
    }
    RemovePackedFolders();
    for (const std::string& link : links) fs::remove(link);
}

// Stopping the run while a large member is written: either way (the abort button or
// closing the window) that member's file is gone, the earlier ones stay, and the program
// ends normally once the worker has stopped. The last run only takes the picture of the
// progress window at work (taking it delays the input the others depend on).
class StubAborts : public StubUnderWine, public testing::WithParamInterface<std::string> {
    std::string Arch() const override { return GetParam(); }
};
INSTANTIATE_TEST_SUITE_P(Package, StubAborts, Arches, [](const auto& info) { return info.param; });

TEST_P(StubAborts, AbortRemovesTheMemberInHand) {
    constexpr uint32_t BigSize = 256u << 20;  // keeps even a fast copy busy for a few seconds
    lha::Member big = lha::Member::Stored("big.bin", "");
    big.originalSize = big.packedSizeOverride.emplace(BigSize);
    big.crc = 0;  // never compared: every run stops inside this member
    lha::ArchiveBuilder archive;
    archive.Add(lha::Member::Stored("first.txt", "first")).Add(lha::Member::Stored("second.txt", "second")).Add(big);
    ASSERT_TRUE(archive.WriteTo(runDir + "/big.lzh"));
    // The large member's data as a hole in the file (zeros, never in memory), then the end mark.
    fs::resize_file(runDir + "/big.lzh", fs::file_size(runDir + "/big.lzh") + BigSize);
    std::ofstream(runDir + "/big.lzh", std::ios::binary | std::ios::app).put(0);
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
        EXPECT_EQ(run.Wait(30), 1223 & 0xFF);
        EXPECT_FALSE(fs::exists(workDir + "/big.bin")) << "the interrupted member was put in place";
        EXPECT_EQ(temporaries(), 0) << "the interrupted member was left behind";
        EXPECT_EQ(ReadAll(workDir + "/first.txt"), "first");
        EXPECT_EQ(ReadAll(workDir + "/second.txt"), "second");
    }
    fs::remove_all(runDir);
}

}  // namespace
