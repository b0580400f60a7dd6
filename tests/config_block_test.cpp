// Configuration block: the fields, where the archive begins behind it, the resolution
// of the destination folder, and blocks cut short.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

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

// Every field in its place, the options with bits beyond the two known ones kept as read;
// texts of the longest length are read whole, and a NUL ends a text early (an empty title
// then, not the default one) while its stored length still counts. A block cut short
// anywhere is refused.
TEST(ConfigBlock, EveryFieldInOrderAndNoBlockCutShort) {
    ConfigBlock block;
    block.caption = std::u16string(255, u'c');
    block.destination = u"D:\\Programs\\Tool";
    block.shortcutTarget = std::u16string(u"ab\0cd", 5);
    block.startMenuOption = OptionEditable | OptionChecked;
    block.desktopOption = OptionChecked;
    block.sendToOption = OptionEditable | 0x80;
    block.launchProgram = std::u16string(u"\0x", 2);
    block.shortcutName = std::u16string(255, u'\u3042');
    Bytes bytes = block.Encode();
    bytes.push_back(0x42);  // the archive's first byte
    BlockRead read = ReadBlock(bytes);
    ASSERT_TRUE(read.ok);
    const SfxConfig& config = read.config;
    EXPECT_EQ(std::tuple(Text(config.caption), Text(config.defaultDestination), Text(config.shortcutTarget),
                         Text(config.launchProgram), Text(config.shortcutName)),
              std::tuple(block.caption, block.destination, u"ab", u"", block.shortcutName));
    EXPECT_EQ(std::tuple(config.present, config.launchProgram.HasText(), config.startMenuOption, config.desktopOption,
                         config.sendToOption),
              std::tuple(1, true, 3, 2, 0x81));
    EXPECT_EQ(read.position, bytes.size() - 1);
    block.caption = std::u16string(u"\0x", 2);
    EXPECT_EQ(Text(ReadBlock(block.Encode()).config.caption), u"");
    bytes.pop_back();
    EXPECT_TRUE(ReadBlock(bytes).ok);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        read = ReadBlock(Bytes(bytes.begin(), bytes.begin() + cut));
        EXPECT_FALSE(read.ok) << "cut at " << cut;
        EXPECT_EQ(read.config.present, 0);
    }
}

// --- Destination resolution -----------------------------------------------------------

// The destination a block with `stored` and `base` resolves to, and whether it is per user.
std::pair<std::u16string, int> Destination(const std::u16string& stored, uint8_t base) {
    ConfigBlock block;
    block.destination = stored;
    block.base = base;
    BlockRead read = ReadBlock(block.Encode());
    EXPECT_TRUE(read.ok);
    return {Text(read.config.defaultDestination), read.config.perUser};
}

// A drive is taken as it stands whatever the base byte, and none means the current folder.
// Any other destination is joined as plain text, with one separator, to the current folder
// (base 0) or to Program Files (outside Windows unknown, empty: the failing lookup leaves a
// backslash before the stored text). One that begins with an environment variable is the
// variable's folder where the package runs (outside Windows, where none is known, it stays
// as stored): never joined to a base, and the package installs for its user.
TEST(ConfigBlockDestination, DrivesStandNoneIsHereAndOthersJoinTheirBase) {
    const std::u16string here = CurrentFolder(), programFiles = SpecialFolderPath(CsidlProgramFiles).Text();
    const bool endsInSeparator = !programFiles.empty() && (programFiles.back() == u'\\' || programFiles.back() == u'/');
    const std::u16string inProgramFiles = programFiles + (endsInSeparator ? u"" : u"\\") + u"Tool";
    for (uint8_t base : {0, 1, 0xFF}) {
        for (const char16_t* stored : {u"D:\\Programs\\Tool", u"D:", u"c:relative"})
            EXPECT_EQ(Destination(stored, base), std::pair(std::u16string(stored), 0));
        EXPECT_EQ(Destination(u"", base), std::pair(here, 0));
    }
    const struct {
        const char16_t* stored;
        uint8_t base;
        std::u16string expected;
        int perUser;
    } rows[] = {
        {u"Tool\\Data", 0, here + u"\\Tool\\Data", 0},
        {u"..\\x", 0, here + u"\\..\\x", 0},  // nothing resolved
        {u"\\\\server\\share", 0, here + u"\\\\\\server\\share", 0},
        {u"Tool", 1, inProgramFiles, 0},
        {u"Tool", 0x80, inProgramFiles, 0},
        {u"%LOCALAPPDATA%\\Programs\\Tool", 1, u"%LOCALAPPDATA%\\Programs\\Tool", 1},
    };
    for (const auto& row : rows) EXPECT_EQ(Destination(row.stored, row.base), std::pair(row.expected, row.perUser));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path("/");
    EXPECT_EQ(Destination(u"Tool\\Data", 0).first, u"/Tool\\Data");
    std::filesystem::current_path(previous);
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

}  // namespace
