// Packages made by `kavisfx pack` with the x86_64 stub, run under Wine: the tree that
// goes in is the tree that comes out, and the block options reach the dialog, the
// shortcuts and the launch.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
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

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs the host tool; its exit status, its standard output in `output`.
int RunTool(const std::vector<std::string>& arguments, std::string* output = nullptr) {
    std::string command = Quoted(KAVISFX_TOOL);
    for (const std::string& argument : arguments) command += " " + Quoted(argument);
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buffer[512];
    std::string text;
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Text that the encoder has to work for: words drawn from a vocabulary of a few hundred,
// so that matches come from all over the window and the codes are far from flat.
std::string VariedText(size_t size) {
    static const char* const Syllables[] = {"ka", "vi", "lo", "re", "mu", "ta", "shi", "no",
                                            "ze", "pa", "ri", "ko", "dan", "el", "ru", "sa"};
    std::vector<std::string> words;
    for (unsigned i = 0; i < 400; ++i) {
        std::string word;
        for (unsigned n = i; word.size() < 3 || n; n /= 16) word += Syllables[n % 16];
        words.push_back(word);
    }
    std::string text;
    uint32_t state = 12345;
    for (unsigned column = 0; text.size() < size;) {
        state = state * 1103515245u + 12345u;
        const std::string& word = words[(state >> 8) % words.size()];
        text += word;
        column += static_cast<unsigned>(word.size()) + 1;
        if (column > 70) text += "\n", column = 0;
        else text += ' ';
    }
    text.resize(size);
    return text;
}

std::string NoiseBytes(size_t size) {
    std::string bytes(size, '\0');
    uint64_t state = 0x2545F4914F6CDD1Dull;
    for (char& c : bytes) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        c = static_cast<char>(state >> 56);
    }
    return bytes;
}

class PackedUnderWine : public testing::Test {
protected:
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
    }

    void Pack(std::vector<std::string> options) {
        std::vector<std::string> arguments = {"pack", package, "--stub", "x86_64"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(sourceDir + "/");
        std::string output;
        ASSERT_EQ(RunTool(arguments, &output), 0) << output;
    }

    stub::Session session;
    std::string runDir, sourceDir, workDir, package;
};

// Without a dialog the package extracts into the folder it was started in: every file
// byte for byte with its time, the nested and the empty folders, a Japanese name.
TEST_F(PackedUnderWine, NoDialogPackageRecreatesTheTreeInTheCurrentFolder) {
    WriteFile(sourceDir + "/readme.txt", "Kavi SFX packed tree\r\n", 1262304001);
    WriteFile(sourceDir + "/data/corpus.txt", VariedText(400000), 1300000003);
    WriteFile(sourceDir + "/data/noise.bin", NoiseBytes(24000), 1300086405);
    WriteFile(sourceDir + "/docs/manual/part/one.txt", "deep inside\n", 1400000007);
    WriteFile(sourceDir + "/docs/日本語の説明.txt", "日本語のテキスト\n", 1500000009);
    WriteFile(sourceDir + "/docs/空.txt", "", 1500000011);
    fs::create_directories(sourceDir + "/empty/inner");
    Pack({"--no-dialog"});

    // The large text must be a -lh7- member, or the default method went untried.
    std::string listing;
    ASSERT_EQ(RunTool({"list", "--tsv", package}, &listing), 0) << listing;
    std::map<std::string, std::string> methods;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);)
        methods[line.substr(line.rfind('\t') + 1)] = line.substr(0, line.find('\t'));
    EXPECT_EQ(methods["data/corpus.txt"], "-lh7-") << listing;

    stub::StubRun run(session, package, workDir);
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(run.Wait(60), 0);

    std::map<std::string, Entry> expected = Snapshot(sourceDir), extracted = Snapshot(workDir);
    for (const auto& [path, entry] : expected) {
        auto found = extracted.find(path);
        if (found == extracted.end()) {
            ADD_FAILURE() << path << " was not extracted";
            continue;
        }
        EXPECT_EQ(found->second.folder, entry.folder) << path;
        EXPECT_TRUE(found->second.content == entry.content) << path << " differs";
        EXPECT_EQ(found->second.modified, entry.modified) << path;
    }
    for (const auto& [path, entry] : extracted)
        EXPECT_TRUE(expected.count(path)) << path << " was extracted but never packed";
}

// OK in the dialog of a package with every block option: the files land in the offered
// folder below Program Files, the one checked shortcut is made under its name and points
// at the packed program, and that program is started.
class PackedDialogUnderWine : public PackedUnderWine {
protected:
    static constexpr const char* LinkName = "Kavi Pack Tool";

    void SetUp() override {
        PackedUnderWine::SetUp();
        if (HasFatalFailure()) return;
        installRoot = session.prefix + "/drive_c/Program Files/KaviSfx Pack";
        Clean();
    }
    void TearDown() override { Clean(); }

    void Clean() {
        fs::remove_all(installRoot);
        for (const std::string& link : stub::LinkFiles(session, LinkName)) fs::remove(link);
    }

    std::string installRoot;
};

TEST_F(PackedDialogUnderWine, OkExtractsIntoTheDestinationMakesTheDesktopShortcutAndLaunches) {
    WriteFile(sourceDir + "/readme.txt", "Kavi SFX dialog package\r\n", 1262304001);
    std::vector<uint8_t> probe = stub::ReadBytes(KAVISFX_LAUNCH_PROBE);
    ASSERT_FALSE(probe.empty()) << KAVISFX_LAUNCH_PROBE;
    WriteFile(sourceDir + "/bin/launch_probe.exe", std::string(probe.begin(), probe.end()), 1300000003);
    Pack({"--caption", "Kavi パック", "--destination", "KaviSfx Pack/App", "--relative-to", "program-files",
          "--shortcut-target", "bin/launch_probe.exe", "--shortcut-name", LinkName, "--desktop", "on",
          "--start-menu", "off", "--launch", "bin/launch_probe.exe"});

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
    std::vector<uint8_t> launched = stub::ReadBytes(dest + "/launched.txt");
    std::string text;
    for (size_t i = 0; i + 1 < launched.size(); i += 2) text += static_cast<char>(launched[i]);
    EXPECT_NE(text.find(target), std::string::npos) << text;
}

}  // namespace
