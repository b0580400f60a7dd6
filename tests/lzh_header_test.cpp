// Member header reader: real archives, every header shape and level, the extended
// headers and their precedence, and damaged or hostile headers that must end the walk
// without reading outside the header.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "archive/paths.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/utf8.h"
#include "support/archive_builder.h"

using lha::ArchiveBuilder;
using lha::Bytes;
using lha::ExtendedHeader;
using lha::Member;

namespace {

std::string Utf8(const WideString& text) { return Utf8Text(text.Text()).c_str(); }

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Records the message boxes of the reader while it lives.
class MessageRecorder {
public:
    MessageRecorder() {
        frontEnd_.context = this;
        frontEnd_.showMessage = [](void* context, const WideChar* text, const WideChar* caption,
                                   MessageIcon icon) {
            auto* self = static_cast<MessageRecorder*>(context);
            self->texts.push_back(text);
            self->captions.push_back(caption ? caption : u"");
            self->icons.push_back(icon);
        };
        InstallFrontEnd(&frontEnd_);
    }
    ~MessageRecorder() { InstallFrontEnd(nullptr); }

    std::vector<std::u16string> texts, captions;
    std::vector<MessageIcon> icons;

private:
    FrontEnd frontEnd_;
};

// An Extractor whose package file holds `bytes` (or an existing file).
class Package {
public:
    explicit Package(const Bytes& bytes) {
        static int serial = 0;
        path_ = testing::TempDir() + "lzh_header_" + std::to_string(::getpid()) + "_" +
                std::to_string(serial++) + ".lzh";
        EXPECT_TRUE(lha::WriteFile(path_, bytes));
        Open(path_);
        owned_ = true;
    }
    explicit Package(const std::string& existing) { Open(existing); }
    ~Package() {
        if (owned_) std::remove(path_.c_str());
    }

    bool Read(LzhHeader& header) { return ReadMemberHeader(extractor, header); }
    uint64_t Position() { return extractor.packageFile->Tell(); }
    void Skip(uint32_t bytes) { extractor.packageFile->Seek(bytes, SeekOrigin::Current); }

    Extractor extractor;

private:
    void Open(const std::string& path) {
        WideString name;
        AssignFromUtf8(name, path.c_str());
        extractor.packageFile = new FileHandle;
        ASSERT_TRUE(extractor.packageFile->Open(name.Text(), FileAccess::Read, FileDisposition::OpenExisting))
            << path;
    }

    std::string path_;
    bool owned_ = false;
};

Bytes Archive(const Member& member) { return ArchiveBuilder().Add(member).End().Contents(); }

// Reads one header of a one-member archive; `ok` is the reader's answer.
struct ReadResult {
    bool ok = false;
    LzhHeader header;
    uint64_t position = 0;
    std::vector<std::u16string> messages;
};

ReadResult ReadOne(const Bytes& bytes) {
    MessageRecorder recorder;
    Package package(bytes);
    ReadResult result;
    result.ok = package.Read(result.header);
    result.position = package.Position();
    result.messages = recorder.texts;
    return result;
}

// --- Real archives --------------------------------------------------------------------

struct ExpectedFile {
    std::string path;
    uint32_t size;
    std::string check;
};

std::map<std::string, std::vector<ExpectedFile>> ReadExpectedTable() {
    std::map<std::string, std::vector<ExpectedFile>> table;
    std::ifstream in(std::string(KAVISFX_FIXTURES_DIR) + "/expected.tsv");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string archive, path, size, check;
        if (std::getline(fields, archive, '\t') && std::getline(fields, path, '\t') &&
            std::getline(fields, size, '\t') && std::getline(fields, check, '\t'))
            table[archive].push_back({path, static_cast<uint32_t>(std::stoul(size)), check});
    }
    return table;
}

TEST(FixtureHeaders, EveryArchiveListsTheFilesOfTheExpectedTable) {
    auto table = ReadExpectedTable();
    ASSERT_GE(table.size(), 17u);
    for (const auto& [archive, expected] : table) {
        SCOPED_TRACE(archive);
        MessageRecorder recorder;
        Package package(std::string(KAVISFX_FIXTURES_DIR) + "/" + archive);
        std::vector<ExpectedFile> files;
        LzhHeader header;
        int members = 0;
        while (package.Read(header)) {
            ++members;
            ASSERT_NE(LookUpMethod(header.method), MethodUnknown) << std::string(header.method, 5);
            ASSERT_TRUE(header.hasCrc);
            WideString path(header.path);
            SanitizeMemberPath(path, u'/');
            if (LookUpMethod(header.method) != MethodLhd)
                files.push_back({Utf8(path), static_cast<uint32_t>(header.originalSize),
                                 [&] {
                                     char crc[16];
                                     std::snprintf(crc, sizeof crc, "crc16:%04x", header.dataCrc);
                                     return std::string(crc);
                                 }()});
            package.Skip(header.packedSize);
        }
        EXPECT_TRUE(recorder.texts.empty());
        ASSERT_EQ(files.size(), expected.size());
        for (size_t i = 0; i < files.size(); ++i) {
            // MS-DOS archivers store upper-case names; the table was written by a tool that
            // folds them, and the stub's file system ignores case.
            EXPECT_EQ(Lower(files[i].path), expected[i].path);
            EXPECT_EQ(files[i].size, expected[i].size);
            if (expected[i].check.rfind("crc16:", 0) == 0) {
                EXPECT_EQ(files[i].check, expected[i].check);
            }
        }
    }
}

TEST(FixtureHeaders, Level2FolderArchiveReadsDirectoryHeaders) {
    Package package(std::string(KAVISFX_FIXTURES_DIR) + "/lha_unix114i_h2_subdir.lzh");
    std::vector<std::string> paths;
    LzhHeader header;
    while (package.Read(header)) {
        EXPECT_EQ(header.level, 2);
        paths.push_back(Utf8(header.path));
        package.Skip(header.packedSize);
    }
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "subdir/");
    EXPECT_EQ(paths[1], "subdir/subdir2/");
    EXPECT_EQ(paths[2], "subdir/subdir2/hello.txt");
}

// --- Shapes: r = H - n selects CRC and OS id ------------------------------------------

struct ShapeCase {
    int level;
    bool hasCrc, hasOsId;
    size_t extra;            // bytes after the OS id
    bool known;
    uint8_t expectHasCrc, expectOsId;
};

TEST(HeaderShapes, LengthMinusNameLengthSelectsTheFields) {
    const ShapeCase cases[] = {
        // Level 0: r = 20, 22, 24, 29; unknown 21 and 23 (an OS id with nothing after it).
        {0, false, false, 0, true, 0, 0},  {0, true, false, 0, true, 1, 0},
        {0, true, true, 1, true, 1, 'M'},  {0, true, true, 6, true, 1, 'M'},
        {0, false, true, 0, false, 0, 0},  {0, true, true, 0, false, 0, 0},
        // Level 1 counts the first extended size in H: r = 25 and 29.
        {1, true, true, 0, true, 1, 'M'},  {1, true, true, 4, true, 1, 'M'},
    };
    for (const ShapeCase& shape : cases) {
        SCOPED_TRACE(testing::Message() << "level " << shape.level << " crc " << shape.hasCrc << " os "
                                        << shape.hasOsId << " extra " << shape.extra);
        Member member = Member::Stored("name.txt", "payload", shape.level);
        member.hasCrc = shape.hasCrc;
        member.hasOsId = shape.hasOsId;
        member.baseExtra.assign(shape.extra, 0);
        ReadResult result = ReadOne(Archive(member));
        EXPECT_EQ(result.ok, shape.known);
        if (!shape.known) {
            ASSERT_EQ(result.messages.size(), 1u);
            EXPECT_EQ(result.messages[0], u"Unknown header");
            continue;
        }
        EXPECT_TRUE(result.messages.empty());
        EXPECT_EQ(result.header.hasCrc, shape.expectHasCrc);
        EXPECT_EQ(result.header.osId, shape.expectOsId);
        if (shape.expectHasCrc) {
            EXPECT_EQ(result.header.dataCrc, member.crc);
        }
        EXPECT_EQ(Utf8(result.header.path), "name.txt");
        EXPECT_EQ(result.header.packedSize, 7u);
        EXPECT_EQ(result.position, lha::BuildHeader(member).size());
    }
}

TEST(HeaderShapes, UnknownShapesShowOneStopBoxWithTheProgramCaption) {
    Member tooShort = Member::Stored("n", "x", 0);
    tooShort.hasCrc = tooShort.hasOsId = false;
    tooShort.headerLengthOverride = 19 + 1;  // H = 20 with a name of 1: r = 19
    tooShort.baseExtra = {0};
    Member nameBeyondHeader = Member::Stored("abc", "x", 0);
    nameBeyondHeader.nameLengthOverride = 250;  // r negative
    Member level2Odd = Member::Stored("n", "x", 2);
    level2Odd.headerLengthOverride = 23;
    for (const Member& member : {tooShort, nameBeyondHeader, level2Odd}) {
        MessageRecorder recorder;
        Package package(Archive(member));
        LzhHeader header;
        EXPECT_FALSE(package.Read(header));
        ASSERT_EQ(recorder.texts.size(), 1u);
        EXPECT_EQ(recorder.texts[0], u"Unknown header");
        EXPECT_EQ(recorder.captions[0], u"Kavi SFX");
        EXPECT_EQ(recorder.icons[0], MessageIcon::Stop);
    }
}

TEST(HeaderShapes, Level2OfTwentyTwoBytesHasACrcAndNoChain) {
    Member member = Member::Stored("", "data", 2);
    member.ext.clear();
    member.headerLengthOverride = 22;
    ReadResult result = ReadOne(Archive(member));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.header.hasCrc, 1);
    EXPECT_EQ(result.header.osId, 0);
    EXPECT_EQ(result.position, 22u);
}

TEST(HeaderFields, Level0FieldsAndPosition) {
    Member member = Member::Stored("dir\\file.bin", "0123456789", 0);
    member.method = "-lh5-";
    member.originalSize = 12345;
    member.attribute = 0x21;
    member.time = lha::DosTime(2001, 2, 3, 4, 5, 6);
    ReadResult result = ReadOne(Archive(member));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(std::string(result.header.method, 5), "-lh5-");
    EXPECT_EQ(result.header.headerLength, lha::BuildHeader(member)[0]);
    EXPECT_EQ(result.header.packedSize, 10u);
    EXPECT_EQ(result.header.originalSize, 12345u);
    EXPECT_EQ(result.header.rawTime, member.time);
    EXPECT_EQ(result.header.attribute, 0x21);
    EXPECT_EQ(result.header.level, 0);
    EXPECT_EQ(Utf8(result.header.path), "dir\\file.bin");  // level-0 names are not translated
    EXPECT_EQ(result.header.dataCrc, member.crc);
    EXPECT_EQ(result.header.modifiedTime, DosTimeToUnixTime(member.time));
    EXPECT_EQ(result.position, lha::BuildHeader(member).size());
}

TEST(HeaderFields, EndMarkAndEmptyFileEndTheWalkSilently) {
    for (const Bytes& bytes : {Bytes{0}, Bytes{}}) {
        ReadResult result = ReadOne(bytes);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.messages.empty());
    }
}

// --- Extended headers -----------------------------------------------------------------

struct ExtCase {
    const char* what;
    std::vector<ExtendedHeader> ext;
    std::u16string path;
};

TEST(ExtendedHeaders, NamesAndDirectoriesWithTheirPrecedence) {
    auto text = ExtendedHeader::Text;
    auto wide = ExtendedHeader::Wide;
    const ExtCase cases[] = {
        {"multibyte name", {text(0x01, "a.txt")}, u"a.txt"},
        {"UTF-16 name after multibyte", {text(0x01, "narrow"), wide(0x44, u"wide")}, u"wide"},
        {"UTF-16 name before multibyte", {wide(0x44, u"wide"), text(0x01, "narrow")}, u"wide"},
        {"directory and name", {text(0x02, "a\xff" "b\xff"), text(0x01, "f")}, u"a/b/f"},
        {"directory separators", {text(0x02, "a\\b/c\xff"), text(0x01, "f")}, u"a/b/c/f"},
        {"UTF-16 directory wins", {wide(0x45, u"w\\x/"), text(0x02, "m\xff"), text(0x01, "f")}, u"w/x/f"},
        {"UTF-16 directory after", {text(0x02, "m\xff"), wide(0x45, u"w\xFFFF"), text(0x01, "f")}, u"w/f"},
        {"Shift_JIS trail byte 0x5C", {text(0x02, "\x95\x5c\xff"), text(0x01, "f")}, u"\u8868/f"},
        {"Shift_JIS name", {text(0x01, "\x83\x5c\x83\x74\x83\x67")}, u"\u30bd\u30d5\u30c8"},
        {"directory without closing separator", {text(0x02, "d"), text(0x01, "f")}, u"d/f"},
        {"other types pass over", {ExtendedHeader{0x00, {1, 2}, {}}, text(0x41, std::string(24, 'x')),
                                   text(0x46, "\xa4\x03"), text(0x54, "abcd"), text(0x01, "f")}, u"f"},
        {"odd UTF-16 payload", {ExtendedHeader{0x44, {'a', 0, 'b'}, {}}}, u"a"},
        {"empty names", {text(0x01, ""), text(0x02, "")}, u""},
    };
    for (int level : {1, 2}) {
        for (const ExtCase& test : cases) {
            SCOPED_TRACE(testing::Message() << test.what << ", level " << level);
            Member member = Member::Stored("", "x", level);
            member.name.clear();
            member.ext = test.ext;
            ReadResult result = ReadOne(Archive(member));
            ASSERT_TRUE(result.ok);
            EXPECT_EQ(std::u16string(result.header.path.Text()), test.path);
        }
    }
}

TEST(ExtendedHeaders, AttributeOnlyFromMsDosLikeSystems) {
    const struct {
        uint8_t osId;
        uint8_t attribute;
    } cases[] = {{'M', 0x10}, {'H', 0x10}, {0, 0x10}, {'U', 0x20}, {'w', 0x20}};
    for (int level : {1, 2})
        for (const auto& test : cases) {
            SCOPED_TRACE(testing::Message() << "os " << int(test.osId) << ", level " << level);
            Member member = Member::Stored("", "x", level);
            member.osId = test.osId;
            member.ext = {ExtendedHeader{0x40, {0x10, 0x00}, {}}, ExtendedHeader::Text(0x01, "after")};
            ReadResult result = ReadOne(Archive(member));
            ASSERT_TRUE(result.ok);
            EXPECT_EQ(result.header.attribute, test.attribute);
            EXPECT_EQ(Utf8(result.header.path), "after");  // the chain goes on
        }
}

// A folder as Windows archivers write it; the Unix time is signed.
TEST(ExtendedHeaders, Level2FolderMember) {
    Member member = Member::Stored("", "", 2);
    member.method = "-lhd-";
    member.time = 0xFFFFFFF0u;
    member.ext = {ExtendedHeader::Text(0x46, "\xa4\x03"), ExtendedHeader::Text(0x01, ""),
                  ExtendedHeader::Text(0x02, "folder\xff"), ExtendedHeader{0x40, {0x10, 0x00}, {}},
                  ExtendedHeader::Text(0x41, std::string(24, '\0')), ExtendedHeader{0x00, {0x12, 0x34}, {}}};
    ReadResult result = ReadOne(Archive(member));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(Utf8(result.header.path), "folder/");
    EXPECT_EQ(LookUpMethod(result.header.method), MethodLhd);
    EXPECT_EQ(result.header.attribute, 0x10);
    EXPECT_EQ(result.header.modifiedTime, -16);
    EXPECT_EQ(result.position, lha::BuildHeader(member).size());
}

TEST(ExtendedHeaders, Level1PackedSizeLosesTheExtendedHeaders) {
    Member first = Member::Stored("", "first data", 1);
    first.Ext(0x01, "one.txt").Ext(0x02, "dir\xff").Ext(0x41, std::string(24, 'x'));
    Member second = Member::Stored("two.txt", "second", 1);
    Package package(ArchiveBuilder().Add(first).Add(second).End().Contents());
    LzhHeader header;
    ASSERT_TRUE(package.Read(header));
    EXPECT_EQ(header.packedSize, 10u);
    EXPECT_EQ(Utf8(header.path), "dir/one.txt");
    EXPECT_EQ(package.Position(), lha::BuildHeader(first).size());
    package.Skip(header.packedSize);
    ASSERT_TRUE(package.Read(header));
    EXPECT_EQ(header.packedSize, 6u);
    EXPECT_EQ(Utf8(header.path), "two.txt");
    package.Skip(header.packedSize);
    EXPECT_FALSE(package.Read(header));
}

// --- Hostile and damaged headers ------------------------------------------------------

TEST(LongHeaders, Level2LengthIsSixteenBits) {
    for (size_t nameLength : {229u, 247u, 248u, 300u, 1000u, 4000u}) {  // low bytes 2, 20, 21
        SCOPED_TRACE(nameLength);
        Member first = Member::Stored(std::string(nameLength, 'n'), "abc", 2);
        first.baseExtra.clear();
        if ((lha::BuildHeader(first).size() & 0xFF) == 0) first.baseExtra = {0};  // as LHA pads
        Member second = Member::Stored("next", "defg", 2);
        Package package(ArchiveBuilder().Add(first).Add(second).End().Contents());
        LzhHeader header;
        ASSERT_TRUE(package.Read(header));
        EXPECT_EQ(header.path.Length(), nameLength);
        EXPECT_EQ(header.packedSize, 3u);
        EXPECT_EQ(package.Position(), lha::BuildHeader(first).size());
        package.Skip(header.packedSize);
        ASSERT_TRUE(package.Read(header));
        EXPECT_EQ(Utf8(header.path), "next");
    }
}

TEST(LongHeaders, HeadersBeyondTheBufferOrChainsBeyondTheHeaderEndTheWalk) {
    Member huge = Member::Stored(std::string(4100, 'n'), "x", 2);  // 4100 + 29 bytes
    Member overrun = Member::Stored("name", "x", 2);
    overrun.ext.push_back(ExtendedHeader::Text(0x41, std::string(40, 'x')));
    overrun.ext.back().sizeOverride = 200;  // runs past the header
    Member tooSmall = Member::Stored("name", "x", 2);
    tooSmall.ext.front().sizeOverride = 2;
    Member sizeOne = Member::Stored("name", "x", 1);
    sizeOne.ext = {ExtendedHeader{0x01, {}, 1}};
    Member level1Huge = Member::Stored("", "x", 1);
    level1Huge.ext = {ExtendedHeader::Text(0x01, "a")};
    level1Huge.ext.front().sizeOverride = 0xFFFF;
    Member level1PackedTooSmall = Member::Stored("", "x", 1);
    level1PackedTooSmall.Ext(0x01, "name");
    level1PackedTooSmall.packedSizeOverride = 3;
    Member cutChain = Member::Stored("name", "x", 2);
    cutChain.chainEnd = false;  // last size field missing: runs one past the header
    cutChain.headerLengthOverride = static_cast<uint16_t>(lha::BuildHeader(cutChain).size());
    const Member* cases[] = {&huge, &overrun, &tooSmall, &sizeOne, &level1Huge, &level1PackedTooSmall, &cutChain};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ReadResult result = ReadOne(Archive(*cases[i]));
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.messages.empty());
    }
}

// Shapes that less common archivers write, read for what they mean.
TEST(OtherArchivers, Os9LevelTwoLengthTwoShortOfItsChain) {
    Member os9 = Member::Stored("os9.txt", "nine", 2);
    const size_t actual = lha::BuildHeader(os9).size();
    os9.headerLengthOverride = static_cast<uint16_t>(actual - 2);
    Package package(ArchiveBuilder().Add(os9).Add(Member::Stored("next", "n")).End().Contents());
    LzhHeader header;
    ASSERT_TRUE(package.Read(header));
    EXPECT_EQ(Utf8(header.path), "os9.txt");
    EXPECT_EQ(package.Position(), actual);
    package.Skip(static_cast<uint32_t>(header.packedSize));
    ASSERT_TRUE(package.Read(header));
    EXPECT_EQ(Utf8(header.path), "next");
}

std::string Le(uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
    return out;
}

TEST(OtherArchivers, SizesTimesAndPermissionsFromExtendedHeaders) {
    Member big = Member::Stored("big", "data", 2).Ext(0x42, Le(4, 8) + Le(5'000'000'000ull, 8));
    big.packedSizeOverride = 0;
    Member unixTime = Member::Stored("t", "x", 1).Ext(0x54, Le(1'700'000'001, 4)).Ext(0x50, Le(04755, 2));
    unixTime.time = 0;
    ReadResult sized = ReadOne(Archive(big));
    ASSERT_TRUE(sized.ok);
    EXPECT_EQ(sized.header.packedSize, 4u);
    EXPECT_EQ(sized.header.originalSize, 5'000'000'000ull);
    ReadResult timed = ReadOne(Archive(unixTime));
    ASSERT_TRUE(timed.ok);
    EXPECT_TRUE(timed.header.hasTime);
    EXPECT_EQ(timed.header.modifiedTime, 1'700'000'001);
    EXPECT_TRUE(timed.header.hasUnixMode);
    EXPECT_EQ(timed.header.unixMode, 04755);
}

// Zero and impossible MS-DOS stamps name no time: the file keeps the time it is written.
TEST(OtherArchivers, DosStampsThatNameNoTime) {
    const struct {
        uint32_t stamp;
        bool real;
    } cases[] = {
        {0, false},
        {lha::DosTime(2000, 2, 29, 23, 59, 58), true},
        {lha::DosTime(2001, 2, 29, 0, 0, 0), false},
        {lha::DosTime(2001, 4, 31, 0, 0, 0), false},
        {(21u << 9 | 0u << 5 | 1u) << 16, false},             // month 0
        {(21u << 9 | 1u << 5 | 0u) << 16, false},             // day 0
        {lha::DosTime(2001, 1, 1, 24, 0, 0), false},
        {lha::DosTime(2001, 1, 1, 0, 60, 0), false},
        {lha::DosTime(2001, 1, 1, 0, 0, 0) | 30u, false},     // 60 seconds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stamp);
        EXPECT_EQ(IsRealDosTime(c.stamp), c.real);
        Member member = Member::Stored("t", "x", 0);
        member.time = c.stamp;
        ReadResult result = ReadOne(Archive(member));
        ASSERT_TRUE(result.ok);
        EXPECT_EQ(result.header.hasTime, c.real);
    }
}

// How a walk ends decides whether the run is complete.
TEST(OtherArchivers, HowAReadEnds) {
    Member good = Member::Stored("a", "x");
    Member longHeader = Member::Stored("a", "x");
    longHeader.headerLengthOverride = 5000;
    Member noMethod = Member::Stored("a", "x");
    noMethod.method = "ot:x:";
    Member noPosition = Member::Stored("a", "x").Ext(0x42, Le(uint64_t{1} << 63, 8) + Le(1, 8));
    Bytes whole = Archive(good);
    const struct {
        Bytes bytes;
        HeaderRead read;
    } cases[] = {
        {whole, HeaderRead::Member},
        {{}, HeaderRead::End},
        {{0}, HeaderRead::End},
        {Bytes(whole.begin(), whole.begin() + 10), HeaderRead::Cut},
        {Archive(longHeader), HeaderRead::Cut},
        {Archive(noMethod), HeaderRead::UnknownShape},
        {Archive(noPosition), HeaderRead::Cut},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        Package package(c.bytes);
        LzhHeader header;
        EXPECT_EQ(ReadHeader(*package.extractor.packageFile, header), c.read);
    }
}

TEST(LongHeaders, Level2LengthWithLowByteZeroReadsAsTheEndMark) {
    // Writers pad such headers by one byte; an unpadded one ends the archive there.
    Member member = Member::Stored(std::string(227, 'n'), "x", 2);
    ASSERT_EQ(lha::BuildHeader(member).size(), 256u);
    ReadResult result = ReadOne(Archive(member));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.messages.empty());
}

TEST(DamagedHeaders, HeadersCutShortAtEveryLengthEndSilently) {
    Member level0 = Member::Stored("dir\\name.txt", "data", 0);
    Member level1 = Member::Stored("", "data", 1);
    level1.Ext(0x01, "name.txt").Ext(0x02, "dir\xff").Ext(0x41, std::string(24, 'x'));
    Member level2 = Member::Stored("name.txt", "data", 2);
    level2.Ext(0x02, "dir\xff").WideExt(0x44, u"wide");
    for (const Member* member : {&level0, &level1, &level2}) {
        Bytes header = lha::BuildHeader(*member);
        for (size_t cut = 1; cut < header.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << "level " << member->level << " cut at " << cut);
            ReadResult result = ReadOne(Bytes(header.begin(), header.begin() + cut));
            EXPECT_FALSE(result.ok);
            EXPECT_TRUE(result.messages.empty());
        }
        EXPECT_TRUE(ReadOne(header).ok);
    }
}

// Random damage to a few good archives: the walk must end (no hang) and every read
// stays inside the header (AddressSanitizer builds check this).
TEST(DamagedHeaders, RandomDamageNeverReadsOutside) {
    Member level1 = Member::Stored("", "level one", 1);
    level1.Ext(0x01, "one").Ext(0x02, "d\xff");
    Member level2 = Member::Stored("two", "level two", 2);
    level2.Ext(0x02, "d\x95\x5c\xff").WideExt(0x45, u"w/").WideExt(0x44, u"name");
    const Bytes good = ArchiveBuilder()
                           .Add(Member::Stored("zero", "level zero", 0))
                           .Add(level1)
                           .Add(level2)
                           .Add(Member::Folder("f/g", 2))
                           .End()
                           .Contents();
    std::mt19937 random(12345);
    MessageRecorder quiet;
    for (int round = 0; round < 400; ++round) {
        Bytes bytes = good;
        int flips = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        Package package(bytes);
        LzhHeader header;
        for (int members = 0; members < 64 && package.Read(header); ++members) {
            ASSERT_LE(package.Position(), bytes.size());
            package.Skip(header.packedSize);
        }
    }
}

// --- Method ids and separators --------------------------------------------------------

TEST(MethodIds, NamesLookUpTheirOwnIdAndOthersAreUnknown) {
    for (uint32_t id = 0; id < MethodCount; ++id)
        EXPECT_EQ(LookUpMethod(MethodNames[id]), static_cast<MethodId>(id)) << MethodNames[id];
    for (const char* unknown : {"-lh8-", "-LH5-", "-lh5 ", "\0\0\0\0\0", "-pm0-"})
        EXPECT_EQ(LookUpMethod(unknown), MethodUnknown) << unknown;
}

TEST(Separators, MultiByteKeepsShiftJisTrailBytes) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"a\\b/c\xff", "a|b|c|"},
        {"\x95\x5c\xff", "\x95\x5c|"},            // 表 ends in 0x5C
        {"\x83\x5c\\x", "\x83\x5c|x"},
        {"\xe0\x2f/", "\xe0\x2f|"},               // lead bytes 0xE0-0xFC too
        {"\xa0\\", "\xa0|"},                      // 0xA0 is no lead byte
        {"ab\x95", "ab\x95"},                     // a lead byte at the end stops the walk
        {"", ""},
    };
    for (const auto& test : cases) {
        std::vector<char> text(test.in.begin(), test.in.end());
        text.push_back(0);
        text.push_back('\\');  // beyond the terminator: must stay untouched
        ReplaceSeparatorsMultiByte(text.data(), '|');
        EXPECT_EQ(std::string(text.data()), test.out);
        EXPECT_EQ(text.back(), '\\');
    }
}

// --- MS-DOS time stamps ---------------------------------------------------------------

class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (had_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

TEST(DosTime, JapanStandardTimeIsNineHoursAhead) {
    ZoneGuard zone("JST-9");
    EXPECT_EQ(DosTimeToUnixTime(0x28610000u), 951836400);  // 2000-03-01 00:00:00
    EXPECT_EQ(DosTimeToUnixTime(0), 0);
}

TEST(DosTime, AgreesWithTheCalendarInUtc) {
    ZoneGuard zone("UTC0");
    const int dates[][6] = {
        {1980, 1, 1, 0, 0, 0},    {1999, 12, 31, 23, 59, 58}, {2000, 2, 29, 12, 0, 0},
        {2000, 3, 1, 0, 0, 0},    {2004, 2, 29, 1, 2, 4},     {2024, 12, 31, 23, 59, 58},
        {2100, 2, 28, 0, 0, 0},   {2100, 3, 1, 0, 0, 0},      {2107, 12, 31, 23, 59, 58},  // 2100: no leap day
    };
    for (const auto& d : dates) {
        std::tm calendar = {};
        calendar.tm_year = d[0] - 1900;
        calendar.tm_mon = d[1] - 1;
        calendar.tm_mday = d[2];
        calendar.tm_hour = d[3];
        calendar.tm_min = d[4];
        calendar.tm_sec = d[5];
        EXPECT_EQ(DosTimeToUnixTime(lha::DosTime(d[0], d[1], d[2], d[3], d[4], d[5])),
                  static_cast<int64_t>(::timegm(&calendar)))
            << d[0] << "-" << d[1] << "-" << d[2];
    }
}

TEST(DosTime, MonthsOutsideTheCalendarStayInTheTable) {
    ZoneGuard zone("UTC0");
    // Month 0 counts as January, 13-15 as December.
    EXPECT_EQ(DosTimeToUnixTime((20u << 9 | 0u << 5 | 1u) << 16),
              DosTimeToUnixTime(lha::DosTime(2000, 1, 1, 0, 0, 0)));
    EXPECT_EQ(DosTimeToUnixTime((20u << 9 | 15u << 5 | 1u) << 16),
              DosTimeToUnixTime(lha::DosTime(2000, 12, 1, 0, 0, 0)));
}

}  // namespace
