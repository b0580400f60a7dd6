// The stub's 260-unit path buffers: a text that does not fit is never written past the
// end, and the caller can tell that it was cut.
#include <gtest/gtest.h>

#include <string>

#include "app/path_buffer.h"

namespace {

std::u16string Text(const PathBuffer& buffer) { return std::u16string(buffer.text, buffer.length); }

TEST(PathBuffer, KeepsWhatFitsAndRemembersAnOverflow) {
    PathBuffer fits, over;
    const std::u16string longest(PathBufferUnits - 1, u'a');
    fits.Append(longest.c_str());
    fits.Append(nullptr);
    EXPECT_TRUE(fits.Fits());
    EXPECT_EQ(Text(fits), longest);
    over.Append(std::u16string(200, u'a').c_str());
    over.AppendChar(u'\\');
    over.Append(std::u16string(100, u'b').c_str());
    over.Append(u".lnk");  // appends after an overflow change nothing
    EXPECT_FALSE(over.Fits());
    EXPECT_EQ(Text(over), std::u16string(200, u'a') + u'\\' + std::u16string(PathBufferUnits - 202, u'b'));
    EXPECT_EQ(fits.text[PathBufferUnits - 1], 0);
    EXPECT_EQ(over.text[PathBufferUnits - 1], 0);
}

TEST(PathBuffer, AppendBackslashOnlyBetweenAFolderAndWhatFollows) {
    const char16_t* const rows[][2] = {
        {u"", u""}, {u"C:\\Data", u"C:\\Data\\"}, {u"C:\\Data\\", u"C:\\Data\\"}, {u"C:", u"C:\\"}, {u"C:\\Data/", u"C:\\Data/\\"}};
    for (const auto& row : rows) {
        PathBuffer buffer;
        buffer.Append(row[0]);
        buffer.AppendBackslash();
        EXPECT_TRUE(Text(buffer) == row[1]) << Text(buffer).size();
    }
}

}  // namespace
