// Member header reader: the header shapes and levels, the extended headers and their
// precedence, time stamps. (Damaged headers, and the fixture archives, are golden archives
// replayed by hostile_archive_test.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "archive/extractor.h"
#include "archive/lzh_header.h"
#include "platform/posix/codepage.h"
#include "platform/posix/console_front_end.h"
#include "platform/posix/utf8.h"
#include "support/archive_builder.h"
#include "support/packed_member.h"

using lha::ArchiveBuilder;
using lha::ExtendedHeader;
using lha::Member;

namespace {

std::string Utf8(const WideString& text) { return Utf8Text(text.Text()).c_str(); }

// Reads the header of `member`, alone in an archive; `ok` is the reader's answer.
struct ReadResult {
    bool ok = false;
    LzhHeader header;
    uint64_t position = 0;
    std::vector<std::u16string> messages;
};

ReadResult ReadOne(const Member& member) {
    ReadResult result;
    FrontEnd frontEnd;
    frontEnd.context = &result.messages;
    frontEnd.showMessage = [](void* context, const WideChar* text, const WideChar*, MessageIcon) {
        static_cast<std::vector<std::u16string>*>(context)->push_back(text);
    };
    InstallFrontEnd(&frontEnd);
    packed_member::ScratchFile file(ArchiveBuilder().Add(member).End().Contents());
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    EXPECT_TRUE(extractor.packageFile->Open(file.Wide().c_str(), FileAccess::Read, FileDisposition::OpenExisting));
    result.ok = ReadMemberHeader(extractor, result.header);
    result.position = extractor.packageFile->Tell();
    InstallFrontEnd(nullptr);
    return result;
}

// --- Shapes: r = H - n selects CRC and OS id ------------------------------------------

struct ShapeCase {
    int level;
    bool hasCrc, hasOsId;
    size_t extra;            // bytes after the OS id
    bool known;
};

TEST(HeaderShapes, LengthMinusNameLengthSelectsTheFields) {
    const ShapeCase cases[] = {
        // Level 0: r = 20, 22, 24, 29; unknown 21 and 23 (an OS id with nothing after it).
        {0, false, false, 0, true}, {0, true, false, 0, true}, {0, true, true, 1, true}, {0, true, true, 6, true},
        {0, false, true, 0, false}, {0, true, true, 0, false},
        // Level 1 counts the first extended size in H: r = 25 and 29.
        {1, true, true, 0, true}, {1, true, true, 4, true},
    };
    for (const ShapeCase& shape : cases) {
        SCOPED_TRACE(&shape - cases);
        Member member = Member::Stored("dir\\file.bin", "payload", shape.level);
        member.method = "-lh5-";
        member.originalSize = 12345;
        member.attribute = 0x21;
        member.time = lha::DosTime(2001, 2, 3, 4, 5, 6);
        member.hasCrc = shape.hasCrc;
        member.hasOsId = shape.hasOsId;
        member.baseExtra.assign(shape.extra, 0);
        ReadResult result = ReadOne(member);
        const LzhHeader& h = result.header;
        EXPECT_EQ(result.ok, shape.known);
        EXPECT_EQ(result.messages, std::vector<std::u16string>(!shape.known, u"Unknown header"));
        if (!shape.known) continue;
        EXPECT_EQ(std::tuple(h.hasCrc, h.osId, h.dataCrc),
                  std::tuple(int(shape.hasCrc), shape.hasOsId ? 'M' : 0, shape.hasCrc ? member.crc : 0));
        EXPECT_EQ(Utf8(h.path), "dir\\file.bin");  // base names are not translated
        EXPECT_EQ(std::tuple(std::string(h.method, 5), int(h.level), h.packedSize, h.originalSize, int(h.attribute)),
                  std::tuple("-lh5-", shape.level, 7u, 12345u, 0x21));
        EXPECT_EQ(std::tuple(h.rawTime, h.modifiedTime, result.position),
                  std::tuple(member.time, DosTimeToUnixTime(member.time), lha::BuildHeader(member).size()));
    }
}

// A folder as Windows archivers write it, its Unix time signed.
TEST(HeaderShapes, Level2OfTwentyTwoBytesHasACrcAndNoChain) {
    Member member = Member::Stored("", "", 2);
    member.method = "-lhd-";
    member.time = 0xFFFFFFF0u;
    member.ext.clear();
    member.headerLengthOverride = 22;
    ReadResult result = ReadOne(member);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(LookUpMethod(result.header.method), MethodLhd);
    EXPECT_EQ(std::tuple(result.header.hasCrc, result.header.osId, result.header.modifiedTime, result.position),
              std::tuple(1, 0, -16, 22u));
}

// --- Extended headers -----------------------------------------------------------------

struct ExtCase {
    const char* what;
    std::vector<ExtendedHeader> ext;
    std::u16string path;
    const char* codePage = nullptr;  // as --codepage chooses it; CP932 (the default) until then
    uint8_t osId = 'M', attribute = 0x20;
};

TEST(ExtendedHeaders, NamesDirectoriesAndAttributesWithTheirPrecedence) {
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
        {"a byte CP932 does not map", {text(0x01, "a\x80" "b")}, u"a\uFFFDb"},
        {"directory without closing separator", {text(0x02, "d"), text(0x01, "f")}, u"d/f"},
        {"other types pass over", {ExtendedHeader{0x00, {1, 2}}, text(0x41, std::string(24, 'x')),
                                   text(0x46, "\xa4\x03"), text(0x54, "abcd"), text(0x01, "f")}, u"f"},
        {"odd UTF-16 payload", {ExtendedHeader{0x44, {'a', 0, 'b'}}}, u"a"},
        {"empty names", {text(0x01, ""), text(0x02, "")}, u""},
        {"a folder", {text(0x46, "\xa4\x03"), text(0x01, ""), text(0x02, "folder\xff"), ExtendedHeader{0x00, {0x12, 0x34}}},
         u"folder/"},
        // With --codepage, 0x5C and 0xFF separate folders only outside a double-byte
        // character of that code page: Big5 and GBK have 0x5C trail bytes as Shift_JIS has.
        {"Big5 trail byte 0x5C", {text(0x02, "\xb3\x5c\xa5\x69\xff"), text(0x01, "f")}, u"\u8a31\u53ef/f", "BIG5"},
        {"GBK trail byte 0x5C", {text(0x02, "\x81\x5c\\a\xff"), text(0x01, "f")}, u"\u4e57/a/f", "GBK"},
        {"0xE9 leads only in Shift_JIS", {text(0x02, "\xe9\x5c" "a\xff"), text(0x01, "f")}, u"\u00e9/a/f", "ISO-8859-1"},
        {"ASCII bytes SHIFT_JIS takes otherwise", {text(0x01, "a~b")}, u"a\u203eb", "SHIFT_JIS"},
        {"CP932 chosen", {text(0x02, "\x95\x5c\xff"), text(0x01, "f")}, u"\u8868/f", "CP932"},
        // The attribute header counts only from MS-DOS-like systems; the chain goes on behind it.
        {"MS-DOS attribute", {ExtendedHeader{0x40, {0x10, 0x00}}, text(0x01, "after")}, u"after", nullptr, 'M', 0x10},
        {"Human68k attribute", {ExtendedHeader{0x40, {0x10, 0x00}}, text(0x01, "after")}, u"after", nullptr, 'H', 0x10},
        {"generic attribute", {ExtendedHeader{0x40, {0x10, 0x00}}, text(0x01, "after")}, u"after", nullptr, 0, 0x10},
        {"UNIX attribute", {ExtendedHeader{0x40, {0x10, 0x00}}, text(0x01, "after")}, u"after", nullptr, 'U', 0x20},
        {"Windows attribute", {ExtendedHeader{0x40, {0x10, 0x00}}, text(0x01, "after")}, u"after", nullptr, 'w', 0x20},
    };
    for (const ExtCase& test : cases) {
        ASSERT_TRUE(!test.codePage || SetMultiByteCodePage(test.codePage)) << test.codePage;
        for (int level : {1, 2}) {
            SCOPED_TRACE(testing::Message() << test.what << ", level " << level);
            Member member = Member::Stored("", "x", level);
            member.name.clear();
            member.ext = test.ext;
            member.osId = test.osId;
            ReadResult result = ReadOne(member);
            ASSERT_TRUE(result.ok);
            EXPECT_EQ(std::u16string(result.header.path.Text()), test.path);
            EXPECT_EQ(result.header.attribute, test.attribute);
            EXPECT_EQ(result.position, lha::BuildHeader(member).size());
        }
    }
}

// Zero and impossible MS-DOS stamps name no time: the file keeps the time it is written.
TEST(OtherArchivers, DosStampsThatNameNoTime) {
    const std::pair<uint32_t, bool> cases[] = {
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
    for (const auto& [stamp, real] : cases) {
        SCOPED_TRACE(stamp);
        EXPECT_EQ(IsRealDosTime(stamp), real);
        Member member = Member::Stored("t", "x", 0);
        member.time = stamp;
        ReadResult result = ReadOne(member);
        ASSERT_TRUE(result.ok);
        EXPECT_EQ(result.header.hasTime, real);
    }
}

// UNIX and OS-9 archivers put a version byte, the Unix time and the mode behind the OS id
// of a level-0 or level-1 header: that time wins over the MS-DOS one, as 0x54 does, and a
// 0x54 or 0x50 header of level 1 wins over both. Other systems' bytes there mean nothing.
TEST(OtherArchivers, UnixTimeAndModeBehindTheOsId) {
    const std::string area("\x00\x00\x3b\x3d\x4b\xc9\x81\xe8\x03\xe8\x03", 11);  // 2010-01-01, 0100711
    const uint32_t dosTime = lha::DosTime(2009, 12, 31, 18, 0, 0);
    const struct {
        int level;
        uint8_t osId;
        size_t areaLength;
        std::vector<ExtendedHeader> ext;
        bool unix;
        int64_t time;
        uint16_t mode;
    } rows[] = {
        {0, 'U', 11, {}, true, 1262304000, 0x81c9},
        {0, '9', 7, {}, true, 1262304000, 0x81c9},
        {1, 'U', 11, {}, true, 1262304000, 0x81c9},
        {1, '9', 7, {ExtendedHeader::Text(0x54, std::string("\xe8\x03\0\0", 4))}, true, 1000, 0x81c9},
        {1, 'U', 7, {ExtendedHeader{0x50, {0xa4, 0x81}}}, true, 1262304000, 0x81a4},
        {0, 'U', 6, {}, false, 0, 0},   // too short to hold the mode
        {0, 'M', 11, {}, false, 0, 0},
        {1, 'w', 11, {}, false, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "level " << row.level << " os " << row.osId << " area " << row.areaLength);
        Member member = Member::Stored("f", "x", row.level);
        member.hasOsId = true;
        member.osId = row.osId;
        member.time = dosTime;
        member.baseExtra = lha::ToBytes(area.substr(0, row.areaLength));
        member.ext = row.ext;
        ReadResult result = ReadOne(member);
        ASSERT_TRUE(result.ok);
        EXPECT_EQ(result.header.modifiedTime, row.unix ? row.time : DosTimeToUnixTime(dosTime));
        EXPECT_EQ(result.header.hasUnixMode, row.unix);
        EXPECT_EQ(result.header.unixMode, row.mode);
    }
}

TEST(Separators, MultiByteKeepsShiftJisTrailBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\\b/c\xff", "a|b|c|"},
        {"\x95\x5c\xff", "\x95\x5c|"},            // 表 ends in 0x5C
        {"\x83\x5c\\x", "\x83\x5c|x"},
        {"\xe0\x2f/", "\xe0\x2f|"},               // lead bytes 0xE0-0xFC too
        {"\xa0\\", "\xa0|"},                      // 0xA0 is no lead byte
        {"ab\x95", "ab\x95"},                     // a lead byte at the end stops the walk
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        std::vector<char> text(in.begin(), in.end());
        text.push_back(0);
        text.push_back('\\');  // beyond the terminator: must stay untouched
        ReplaceSeparatorsMultiByte(text.data(), '|');
        EXPECT_EQ(std::string(text.data()), out);
        EXPECT_EQ(text.back(), '\\');
    }
}

// --- MS-DOS time stamps ---------------------------------------------------------------

// Local times in a zone of `offset` hours east, against the calendar; month 0 counts as
// January and 13-15 as December.
TEST(DosTime, AgreesWithTheCalendarInAnyZone) {
    const char* const previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    const int dates[][6] = {
        {1980, 1, 1, 0, 0, 0},    {1999, 12, 31, 23, 59, 58}, {2000, 2, 29, 12, 0, 0},
        {2000, 3, 1, 0, 0, 0},    {2004, 2, 29, 1, 2, 4},     {2024, 12, 31, 23, 59, 58},
        {2100, 2, 28, 0, 0, 0},   {2100, 3, 1, 0, 0, 0},      {2107, 12, 31, 23, 59, 58},  // 2100: no leap day
    };
    for (const auto& [zone, offset] : {std::pair{"UTC0", 0}, {"JST-9", 9}}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        for (const auto& d : dates) {
            std::tm calendar = {};
            std::tie(calendar.tm_year, calendar.tm_mon, calendar.tm_mday, calendar.tm_hour, calendar.tm_min,
                     calendar.tm_sec) = std::tuple(d[0] - 1900, d[1] - 1, d[2], d[3], d[4], d[5]);
            EXPECT_EQ(DosTimeToUnixTime(lha::DosTime(d[0], d[1], d[2], d[3], d[4], d[5])),
                      static_cast<int64_t>(::timegm(&calendar)) - offset * 3600)
                << zone << " " << d[0] << "-" << d[1] << "-" << d[2];
        }
        EXPECT_EQ(DosTimeToUnixTime((20u << 9 | 0u << 5 | 1u) << 16), DosTimeToUnixTime(lha::DosTime(2000, 1, 1, 0, 0, 0)));
        EXPECT_EQ(DosTimeToUnixTime((20u << 9 | 15u << 5 | 1u) << 16),
                  DosTimeToUnixTime(lha::DosTime(2000, 12, 1, 0, 0, 0)));
        EXPECT_EQ(DosTimeToUnixTime(0), 0);
    }
    previous ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
