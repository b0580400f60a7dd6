// Paths: stored names of any shape stay below the destination; the folder steps of a
// path. (Folders and files made on disk: the golden archives of hostile_archive_test.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "archive/paths.h"
#include "platform/file_handle.h"
#include "platform/posix/made_folders.h"
#include "platform/system.h"

namespace {

std::u16string Sanitized(const std::u16string& stored, WideChar sep = u'/') {
    WideString path(stored.c_str());
    SanitizeMemberPath(path, sep);
    return path.Text();
}

std::u16string WithBackslashes(std::u16string text) {
    for (char16_t& unit : text)
        if (unit == u'/') unit = u'\\';
    return text;
}

std::vector<std::u16string> Components(const std::u16string& path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i)
        if (i == path.size() || path[i] == u'/') {
            parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

// What every sanitised path must satisfy, whatever was stored.
void ExpectConfined(const std::u16string& stored, const std::u16string& result) {
    SCOPED_TRACE(std::string(stored.begin(), stored.end()));
    if (result.empty()) return;
    EXPECT_NE(result.front(), u'/');
    EXPECT_EQ(result.find(u'\\'), std::u16string::npos);
    EXPECT_EQ(result.find(u':'), std::u16string::npos);
    std::vector<std::u16string> parts = Components(result);
    if (parts.back().empty()) parts.pop_back();  // "dir/"
    for (const std::u16string& part : parts) {
        EXPECT_FALSE(part.empty());
        EXPECT_NE(part.find_first_not_of(u". "), std::u16string::npos) << "dots and spaces only";
        for (char16_t unit : part) EXPECT_GE(unit, 0x20);
    }
    EXPECT_EQ(Sanitized(result), result) << "sanitising twice changes nothing";
}

struct PathCase {
    std::u16string stored, result;
};

TEST(SanitizeMemberPath, OrdinaryAndClassicCases) {
    const PathCase cases[] = {
        {u"", u""}, {u"a/b.txt", u"a/b.txt"}, {u"../../a/b.txt", u"a/b.txt"}, {u"/a/b", u"a/b"},
        {u"a/../b", u"a/b"}, {u"C:/x/y", u"x/y"}, {u"a:b", u"b"}, {u"ab:c", u"ab_c"}, {u"../.cfg", u"cfg"},
        {u"dir/", u"dir/"}, {u".profile", u".profile"}, {u"a/.hidden/b", u"a/.hidden/b"},
        {u"x..y/z...txt", u"x..y/z...txt"}, {u"name with spaces.txt", u"name with spaces.txt"},
        {u"\u8868/\u30bd\u30d5\u30c8.txt", u"\u8868/\u30bd\u30d5\u30c8.txt"},
        {u"console.txt", u"console.txt"}, {u"COM10", u"COM10"}, {u"com", u"com"},
    };
    for (const PathCase& test : cases) {
        EXPECT_EQ(Sanitized(test.stored), test.result) << std::string(test.stored.begin(), test.stored.end());
        EXPECT_EQ(Sanitized(WithBackslashes(test.stored)), test.result) << "with backslashes";
        ExpectConfined(test.stored, test.result);
    }
}

TEST(SanitizeMemberPath, HostileNamesStayInside) {
    const PathCase cases[] = {
        {u"..\\..\\windows\\evil.dll", u"windows/evil.dll"}, {u"a\\..\\..\\b", u"a/b"},
        {u"\\\\server\\share\\x", u"server/share/x"}, {u"\\\\?\\C:\\x\\y", u"x/y"}, {u"\\\\.\\C:\\x", u"x"},
        {u"\\\\?\\UNC\\srv\\s\\f", u"UNC/srv/s/f"}, {u"C:\\..\\x", u"x"}, {u"C:..\\x", u"x"},
        {u"../C:/x", u"x"}, {u"x/C:/y", u"x/C_/y"}, {u"file.txt:stream", u"file.txt_stream"},
        {u".. /x", u"x"}, {u"a/.. /b", u"a/b"}, {u"a/... /b", u"a/b"}, {u"a/.../b", u"a/b"},
        {u"a/./b", u"a/b"}, {u"a/. /b", u"a/b"}, {u"a//b", u"a/b"}, {u"a/..", u"a"}, {u"..", u""},
        {u"../", u""}, {u"/", u""}, {u"...", u""}, {u"CON", u"_CON"}, {u"con.txt", u"_con.txt"},
        {u"dir/Nul.tar.gz", u"dir/_Nul.tar.gz"}, {u"aux/x", u"_aux/x"}, {u"LPT1", u"_LPT1"},
        {u"com9.log", u"_com9.log"}, {u"COM\u00b9", u"_COM\u00b9"}, {u"PRN .txt", u"_PRN .txt"},
        {u"CONOUT$", u"_CONOUT$"}, {u"a\x01" u"b/c\x1f", u"a_b/c_"}, {u"..\t/x", u".._/x"},
    };
    for (const PathCase& test : cases) {
        std::u16string result = Sanitized(test.stored);
        EXPECT_EQ(result, test.result) << std::string(test.stored.begin(), test.stored.end());
        ExpectConfined(test.stored, result);
    }
}

TEST(SanitizeMemberPath, BackslashAsSeparator) {
    EXPECT_EQ(Sanitized(u"../a/b\\c", u'\\'), u"a\\b\\c");
    EXPECT_EQ(Sanitized(u"C:\\x\\", u'\\'), u"x\\");
}

TEST(SanitizeMemberPath, LongComponentsAreKeptWhole) {
    for (size_t length : {255u, 256u, 257u, 1000u, 5000u}) {
        std::u16string name(length, u'n');
        std::u16string stored = u"../" + name + u"/" + name + u"." + std::u16string(length, u'e');
        std::u16string result = Sanitized(stored);
        EXPECT_EQ(result, name + u"/" + name + u"." + std::u16string(length, u'e'));
    }
    std::u16string many;
    for (int i = 0; i < 2000; ++i) many += u"../con/";
    std::u16string result = Sanitized(many);
    ExpectConfined(u"many", result);
    EXPECT_TRUE(result.starts_with(u"_con/_con/"));
}

// Every short string over an alphabet of troublesome units comes out confined.
TEST(SanitizeMemberPath, EveryShortCombinationIsConfined) {
    const char16_t alphabet[] = {u'.', u'/', u'\\', u':', u'C', u' ', u'a', 0x01};
    const size_t size = sizeof alphabet / sizeof alphabet[0];
    for (size_t length = 1; length <= 5; ++length) {
        size_t total = 1;
        for (size_t i = 0; i < length; ++i) total *= size;
        for (size_t n = 0; n < total; ++n) {
            std::u16string stored;
            for (size_t i = 0, rest = n; i < length; ++i, rest /= size) stored += alphabet[rest % size];
            ExpectConfined(stored, Sanitized(stored));
            if (HasFailure()) return;
        }
    }
}

// The destination's folders are made top-down; a path that names none fails.
TEST(FolderPaths, CreateFolderTreeMakesEveryMissingFolder) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() / ("kavisfx-tree-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "a");
    const std::u16string deep = (root / "a/b/c/").u16string();
    EXPECT_TRUE(CreateFolderTree(WideString(deep.c_str()), CreateDestinationFolder));
    EXPECT_TRUE(std::filesystem::is_directory(root / "a/b/c"));
    EXPECT_TRUE(CreateFolderTree(WideString(deep.c_str()), CreateDestinationFolder));  // all there already
    EXPECT_FALSE(CreateFolderTree(WideString(u""), CreateDestinationFolder));  // names no folder
    std::filesystem::remove_all(root);
}

// An empty folder made the current one for a test, and removed after it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : root_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))),
          previous_(std::filesystem::current_path()) {
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        std::filesystem::current_path(root_);
    }
    ~ScratchFolder() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
    }
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_, previous_;
};

// What a second Ctrl-C deletes on its way out: the temporary in hand.
TEST(FolderPaths, TemporaryInHandIsDeletedOnDemand) {
    namespace fs = std::filesystem;
    const ScratchFolder scratch("kavisfx-in-hand");
    const fs::path& root = scratch.root();
    FileHandle file;
    ASSERT_TRUE(file.CreateTemporary(u"sub/member"));
    const fs::path temporary = root / std::u16string(file.TemporaryPath().Text());
    EXPECT_TRUE(fs::exists(temporary));
    DiscardTemporaryInHand();
    EXPECT_FALSE(fs::exists(temporary));
}

// The folders a run made, as many as a large tree holds: each is known for a folder, what
// lies in one of them for none, and what lies elsewhere for unknown.
TEST(MadeFolders, KnowsEveryFolderPastEveryGrowth) {
    MadeFolders made;
    EXPECT_FALSE(made.HoldsNoFolderAt(HashPath("d/file")));
    made.Add(HashPath("d").entry);
    for (int i = 0; i < 1000; ++i) made.Add(HashPath(("d/" + std::to_string(i) + "/").c_str()).entry);
    for (int i = 0; i < 1000; ++i) {
        const std::string folder = "d/" + std::to_string(i);
        ASSERT_FALSE(made.HoldsNoFolderAt(HashPath(folder.c_str()))) << folder;
        ASSERT_TRUE(made.HoldsNoFolderAt(HashPath((folder + "/file").c_str()))) << folder;
    }
    EXPECT_TRUE(made.HoldsNoFolderAt(HashPath("d//7/file")));
    EXPECT_TRUE(made.HoldsNoFolderAt(HashPath("d/file")));
    EXPECT_FALSE(made.HoldsNoFolderAt(HashPath("e/file")));
    EXPECT_FALSE(made.HoldsNoFolderAt(HashPath("file")));  // the destination itself was not made
    made.Clear();
    EXPECT_FALSE(made.HoldsNoFolderAt(HashPath("d/file")));
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

// A temporary is written through the descriptor of the folder the walk holds: when the walk
// lets go of that folder before the file is put in place (the next member lies elsewhere),
// the file still lands in its folder, and every descriptor is closed once, a copy taken
// for a second temporary in the same folder as well.
TEST(FolderPaths, TemporariesOutliveTheFoldersTheWalkHeld) {
    namespace fs = std::filesystem;
    const ScratchFolder scratch("kavisfx-held");
    const size_t before = OpenDescriptors();
    HoldReachedFolders(true);
    {
        FileHandle first, second;
        ASSERT_TRUE(first.CreateTemporary(u"a/b/first"));
        ASSERT_TRUE(second.CreateTemporary(u"a/b/second"));
        ASSERT_EQ(CreateFolder(u"z/y"), CreateFolderResult::Created);  // the walk leaves a/ and a/b/
        ASSERT_TRUE(first.Write("1", 1) && second.Write("2", 1));
        EXPECT_TRUE(first.PutInPlace(u"a/b/first", true));
        EXPECT_TRUE(second.PutInPlace(u"a/b/second", true));
        FileHandle third;  // the walk holds a/b/ again: its descriptor is lent once more
        ASSERT_TRUE(third.CreateTemporary(u"a/b/third"));
        HoldReachedFolders(false);
        EXPECT_TRUE(third.PutInPlace(u"a/b/third", true));
    }
    EXPECT_EQ(OpenDescriptors(), before);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(scratch.root() / "a/b")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second", "third"}));
}

}  // namespace
