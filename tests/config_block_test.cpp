// Configuration block: the fields, where the archive begins behind it, the resolution
// of the destination folder, and blocks cut short.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_handle.h"
#include "archive/block_paths.h"
#include "archive/config_reader.h"
#include "package/config_block.h"
#include "platform/system.h"
#include "support/archive_builder.h"
#include "support/packed_member.h"

using lha::Bytes;
using lha::ConfigBlock;

namespace {

std::u16string Text(const WideString& text) { return text.Text(); }

std::u16string CurrentFolder() { return CurrentDirectoryPath().Text(); }

// The block (and what follows it) written to a scratch file, read from `offset`.
struct BlockRead {
    bool ok = false;
    SfxConfig config;
    uint64_t position = 0;
};

BlockRead ReadBlock(const Bytes& bytes, uint64_t offset = 0) {
    packed_member::ScratchFile scratch(bytes);
    FileHandle file;
    BlockRead result;
    EXPECT_TRUE(file.Open(scratch.Wide().c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    EXPECT_TRUE(file.Seek(static_cast<int64_t>(offset), SeekOrigin::Begin));
    result.ok = ReadConfigBlock(file, result.config);
    result.position = file.Tell();
    return result;
}

// Marker 0 is the whole block; marker 1 with nine zeros gives empty texts (present, not
// absent) and no options. Either way the caption and destination take their defaults.
TEST(ConfigBlock, MarkerZeroOrOneWithNothingElse) {
    for (const ConfigBlock& block : {ConfigBlock::Absent(), ConfigBlock()}) {
        BlockRead read = ReadBlock(lha::BuildPackage(block, {0}), ConfigBlockOffset);
        ASSERT_TRUE(read.ok);
        EXPECT_EQ(read.config.present, block.present);
        EXPECT_EQ(read.position, ConfigBlockOffset + (block.present ? 10u : 1u));
        EXPECT_EQ(Text(read.config.caption), u"Kavi SFX");
        EXPECT_EQ(Text(read.config.defaultDestination), CurrentFolder());
        EXPECT_EQ(read.config.startMenuOption | read.config.desktopOption | read.config.sendToOption, 0);
        for (const WideString* text : {&read.config.shortcutTarget, &read.config.launchProgram, &read.config.shortcutName}) {
            EXPECT_EQ(text->HasText(), block.present);
            EXPECT_TRUE(text->IsEmpty());
        }
    }
}

TEST(ConfigBlock, EveryFieldInOrder) {
    ConfigBlock block;
    block.caption = u"\u30c6\u30b9\u30c8 Setup";
    block.destination = u"D:\\Programs\\Tool";
    block.shortcutTarget = u"bin\\tool.exe";
    block.startMenuOption = OptionEditable | OptionChecked;
    block.desktopOption = OptionChecked;
    block.sendToOption = OptionEditable | 0x80;  // other bits are kept as read
    block.launchProgram = u"setup.exe";
    block.shortcutName = u"Tool";
    Bytes bytes = block.Encode();
    bytes.push_back(0x42);  // the archive's first byte
    BlockRead read = ReadBlock(bytes);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.config.present, 1);
    EXPECT_EQ(Text(read.config.caption), block.caption);
    EXPECT_EQ(Text(read.config.defaultDestination), block.destination);
    EXPECT_EQ(Text(read.config.shortcutTarget), block.shortcutTarget);
    EXPECT_EQ(read.config.startMenuOption, 3);
    EXPECT_EQ(read.config.desktopOption, 2);
    EXPECT_EQ(read.config.sendToOption, 0x81);
    EXPECT_EQ(Text(read.config.launchProgram), block.launchProgram);
    EXPECT_EQ(Text(read.config.shortcutName), block.shortcutName);
    EXPECT_EQ(read.position, bytes.size() - 1);
}

// Texts of the longest length are read whole; a NUL ends a text early (an empty
// title then, not the default one) while its stored length still counts.
TEST(ConfigBlock, TextsAreReadWholeUpToTheirFirstNul) {
    ConfigBlock block;
    block.caption = std::u16string(255, u'c');
    block.shortcutName = std::u16string(255, u'\u3042');
    block.shortcutTarget = std::u16string(u"ab\0cd", 5);
    block.launchProgram = std::u16string(u"\0x", 2);
    BlockRead read = ReadBlock(block.Encode());
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(Text(read.config.caption), block.caption);
    EXPECT_EQ(Text(read.config.shortcutName), block.shortcutName);
    EXPECT_EQ(Text(read.config.shortcutTarget), u"ab");
    EXPECT_TRUE(read.config.launchProgram.HasText());
    EXPECT_EQ(Text(read.config.launchProgram), u"");
    EXPECT_EQ(read.position, 10u + 2 * (255 + 255 + 5 + 2));
    block.caption = std::u16string(u"\0x", 2);
    read = ReadBlock(block.Encode());
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(Text(read.config.caption), u"");
}

TEST(ConfigBlock, EveryCutShortBlockIsRejected) {
    ConfigBlock block;
    block.caption = u"Title";
    block.destination = u"Tool";
    block.shortcutTarget = u"t.exe";
    block.launchProgram = u"l.exe";
    block.shortcutName = u"n";
    Bytes bytes = block.Encode();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        BlockRead read = ReadBlock(Bytes(bytes.begin(), bytes.begin() + cut));
        EXPECT_FALSE(read.ok) << "cut at " << cut;
        EXPECT_EQ(read.config.present, 0);
    }
    EXPECT_TRUE(ReadBlock(bytes).ok);
}

// --- Destination resolution -----------------------------------------------------------

std::u16string Destination(const std::u16string& stored, uint8_t base) {
    ConfigBlock block;
    block.destination = stored;
    block.base = base;
    BlockRead read = ReadBlock(block.Encode());
    EXPECT_TRUE(read.ok);
    return Text(read.config.defaultDestination);
}

TEST(ConfigBlockDestination, DriveLettersAreTakenUnchangedAndNoneMeansTheCurrentFolder) {
    for (uint8_t base : {0, 1, 0xFF}) {
        EXPECT_EQ(Destination(u"D:\\Programs\\Tool", base), u"D:\\Programs\\Tool");
        EXPECT_EQ(Destination(u"D:", base), u"D:");
        EXPECT_EQ(Destination(u"c:relative", base), u"c:relative");
        EXPECT_EQ(Destination(u"", base), CurrentFolder());
    }
}

TEST(ConfigBlockDestination, RelativeJoinsTheCurrentFolderWithOneSeparator) {
    std::u16string here = CurrentFolder();
    EXPECT_EQ(Destination(u"Tool\\Data", 0), here + u"\\Tool\\Data");
    EXPECT_EQ(Destination(u"..\\x", 0), here + u"\\..\\x");  // plain text, nothing resolved
    EXPECT_EQ(Destination(u"\\\\server\\share", 0), here + u"\\\\\\server\\share");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path("/");
    EXPECT_EQ(Destination(u"Tool\\Data", 0), u"/Tool\\Data");
    std::filesystem::current_path(previous);
}

// A destination that begins with an environment variable is the variable's folder where the
// package runs (outside Windows, where none is known, it stays as stored): never joined to a
// base, and the package installs for its user.
TEST(ConfigBlockDestination, EnvironmentVariableMakesAPerUserPackage) {
    ConfigBlock block;
    block.destination = u"%LOCALAPPDATA%\\Programs\\Tool";
    block.base = 1;
    BlockRead read = ReadBlock(block.Encode());
    EXPECT_EQ(Text(read.config.defaultDestination), block.destination);
    EXPECT_EQ(read.config.perUser, 1);
    EXPECT_EQ(ReadBlock(ConfigBlock().Encode()).config.perUser, 0);
}

// Which paths of the block the stub takes: inside the destination, and one file name for
// the shortcuts.
TEST(ConfigBlockPaths, OnlyPathsInsideTheDestinationAndPlainNames) {
    const struct {
        const char16_t* path;
        bool inside, plainName;
    } rows[] = {{u"tool.exe", true, true}, {u"bin\\tool.exe", true, false}, {u"bin/tool.exe", true, false}, {u"", true, true},
                {u"Tool Launcher", true, true}, {u"..\\x.exe", false, false}, {u"bin\\..\\..\\x", false, false}, {u"\\..\\x", false, false},
                {u"\\x.exe", false, false}, {u"C:\\x.exe", false, false}, {u"C:x.exe", false, false}, {u"\\\\server\\share\\x", false, false},
                {u"\\\\?\\C:\\x", false, false}, {u"..", false, false}, {u"...\\x", false, false}, {u".. \\x", false, false},
                {u"a:b", false, false}, {u"con", false, false}};
    for (const auto& row : rows) {
        WideString path(row.path);
        EXPECT_EQ(StaysInDestination(path), row.inside) << &row - rows;
        EXPECT_EQ(IsPlainFileName(path), row.plainName) << &row - rows;
    }
}

TEST(ConfigBlockDestination, BaseByteSelectsProgramFiles) {
    // Outside Windows the Program Files folder is unknown (empty): the failing lookup of
    // the shell folder leaves a backslash before the stored text.
    std::u16string programFiles = SpecialFolderPath(CsidlProgramFiles).Text();
    bool endsInSeparator = !programFiles.empty() && (programFiles.back() == u'\\' || programFiles.back() == u'/');
    std::u16string joined = programFiles + (endsInSeparator ? u"" : u"\\") + u"Tool";
    EXPECT_EQ(Destination(u"Tool", 1), joined);
    EXPECT_EQ(Destination(u"Tool", 0x80), joined);
}

}  // namespace
