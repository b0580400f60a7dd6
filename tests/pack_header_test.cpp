// What the package builder writes must read back through the stub's own readers: member
// headers through ReadMemberHeader, the configuration block through ReadConfigBlock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "archive/config_reader.h"
#include "package/config_block.h"
#include "platform/posix/utf8.h"
#include "tools/pack/config_writer.h"
#include "tools/pack/member_header.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An Extractor reading `bytes` from a temporary file.
class Reading {
public:
    explicit Reading(const Bytes& bytes) {
        char pattern[] = "/tmp/kavisfx-pack-header-XXXXXX";
        int fd = ::mkstemp(pattern);
        path_ = pattern;
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
        WideString wide;
        AssignFromUtf8(wide, path_.c_str());
        extractor.packageFile = new FileHandle;
        EXPECT_TRUE(extractor.packageFile->Open(wide.Text(), FileAccess::Read, FileDisposition::OpenExisting));
    }
    ~Reading() { ::unlink(path_.c_str()); }
    Extractor extractor;

private:
    std::string path_;
};

std::u16string Path(const LzhHeader& header) { return header.path.Text(); }

TEST(PackHeaders, ReadBackWithNamesSizesTimeAndCrc) {
    struct Case {
        std::u16string directory, name;
        bool folder;
    } cases[] = {
        {u"", u"readme.txt", false},
        {u"app/bin/", u"tool.exe", false},
        {u"日本語/ソフト/", u"表示.txt", false},      // Shift_JIS trail bytes 0x5C
        {u"", u"😀 e\u0301.txt", false},               // no CP932 form: the UTF-16 name wins
        {u"deep/", std::u16string(120, u'あ'), false},  // a header longer than 255 bytes
        {u"app/bin/", u"", true},
    };
    for (const Case& c : cases) {
        MemberHeaderFields fields;
        std::memcpy(fields.method, c.folder ? "-lhd-" : "-lh7-", 6);
        fields.packedSize = 1234;
        fields.originalSize = 56789;
        fields.modifiedTime = 1700000000;
        fields.crc = 0xBEEF;
        fields.folder = c.folder;
        fields.directory = c.directory;
        fields.name = c.name;
        Bytes bytes = BuildMemberHeader(fields);
        const size_t headerSize = bytes.size();
        bytes.insert(bytes.end(), 1234, 0xAA);
        bytes.push_back(0);

        Reading reading(bytes);
        LzhHeader header;
        ASSERT_TRUE(ReadMemberHeader(reading.extractor, header));
        EXPECT_EQ(Path(header), c.directory + c.name);
        EXPECT_EQ(std::string(header.method, 5), c.folder ? "-lhd-" : "-lh7-");
        EXPECT_EQ(header.level, 2);
        EXPECT_EQ(header.packedSize, 1234u);
        EXPECT_EQ(header.originalSize, 56789u);
        EXPECT_EQ(header.modifiedTime, 1700000000);
        EXPECT_EQ(header.dataCrc, 0xBEEF);
        EXPECT_EQ(header.hasCrc, 1);
        EXPECT_EQ(header.attribute, c.folder ? 0x10 : 0x20);
        EXPECT_EQ(reading.extractor.packageFile->Tell(), headerSize);
        reading.extractor.packageFile->Seek(1234, SeekOrigin::Current);
        EXPECT_FALSE(ReadMemberHeader(reading.extractor, header)) << "the end mark follows";
    }
}

TEST(PackHeaders, NoLengthEndsInAZeroByte) {
    // A level-2 length whose low byte is 0 would read as the end mark: such a header
    // gets one more byte.
    for (size_t units = 1; units < 200; ++units) {
        MemberHeaderFields fields;
        fields.name = std::u16string(units, u'x');
        Bytes bytes = BuildMemberHeader(fields);
        ASSERT_EQ(bytes[0] | (bytes[1] << 8), bytes.size());
        EXPECT_NE(bytes[0], 0) << units << " units";
    }
}

TEST(PackConfigBlock, ReadsBackAsWritten) {
    PackConfig config;
    config.caption = u"セットアップ";
    config.programFilesBase = true;
    config.destination = u"D:\\Programs\\Kavi";
    config.shortcutTarget = u"bin\\tool.exe";
    config.startMenuOption = OptionEditable | OptionChecked;
    config.desktopOption = OptionChecked;
    config.sendToOption = 0;
    config.launchProgram = std::u16string(255, u'L');
    config.shortcutName = u"Kavi Tool";
    EXPECT_EQ(ConfigProblem(config), "");
    Bytes bytes(ConfigBlockOffset, 0);
    Bytes block = BuildConfigBlock(config);
    bytes.insert(bytes.end(), block.begin(), block.end());
    bytes.push_back(0);

    Reading reading(bytes);
    FileHandle& file = *reading.extractor.packageFile;
    ASSERT_TRUE(file.Seek(ConfigBlockOffset, SeekOrigin::Begin));
    SfxConfig read;
    ASSERT_TRUE(ReadConfigBlock(file, read));
    EXPECT_EQ(read.present, 1);
    EXPECT_EQ(std::u16string(read.caption.Text()), config.caption);
    EXPECT_EQ(std::u16string(read.defaultDestination.Text()), config.destination);
    EXPECT_EQ(std::u16string(read.shortcutTarget.Text()), config.shortcutTarget);
    EXPECT_EQ(std::u16string(read.launchProgram.Text()), config.launchProgram);
    EXPECT_EQ(std::u16string(read.shortcutName.Text()), config.shortcutName);
    EXPECT_EQ(read.startMenuOption, 3);
    EXPECT_EQ(read.desktopOption, 2);
    EXPECT_EQ(read.sendToOption, 0);
    EXPECT_EQ(file.Tell(), ConfigBlockOffset + block.size());

    config.launchProgram.push_back(u'!');
    EXPECT_NE(ConfigProblem(config).find("--launch"), std::string::npos);
    PackConfig none;
    none.dialog = false;
    EXPECT_EQ(BuildConfigBlock(none), Bytes{0});
}

}  // namespace
