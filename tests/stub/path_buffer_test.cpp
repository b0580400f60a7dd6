// The stub's 260-unit path buffers: a text that does not fit is never written past the
// end, and the caller can tell that it was cut.
#include <gtest/gtest.h>

#include <string>

#include "app/path_buffer.h"

namespace {

std::u16string Text(const PathBuffer& buffer) { return std::u16string(buffer.text, buffer.length); }

TEST(PathBuffer, KeepsEverythingThatFitsAndTheTerminator) {
    std::u16string longest(PathBufferUnits - 1, u'a');
    PathBuffer buffer;
    buffer.Append(longest.c_str());
    EXPECT_TRUE(buffer.Fits());
    EXPECT_EQ(Text(buffer), longest);
    EXPECT_EQ(buffer.text[PathBufferUnits - 1], 0);
}

TEST(PathBuffer, OverflowStopsAtTheLastUnitAndIsRemembered) {
    PathBuffer buffer;
    buffer.Append(std::u16string(200, u'a').c_str());
    buffer.AppendChar(u'\\');
    buffer.Append(std::u16string(100, u'b').c_str());
    EXPECT_FALSE(buffer.Fits());
    EXPECT_EQ(buffer.length, PathBufferUnits - 1);
    EXPECT_EQ(buffer.text[PathBufferUnits - 1], 0);
    buffer.Append(u".lnk");  // later appends change nothing
    EXPECT_EQ(buffer.length, PathBufferUnits - 1);
    EXPECT_EQ(buffer.text[PathBufferUnits - 2], u'b');
}

TEST(PathBuffer, AppendBackslashOnlyBetweenAFolderAndWhatFollows) {
    const struct {
        const char16_t* text;
        const char16_t* expected;
    } cases[] = {
        {u"", u""},
        {u"C:\\Data", u"C:\\Data\\"},
        {u"C:\\Data\\", u"C:\\Data\\"},
        {u"C:", u"C:\\"},
        {u"C:\\Data/", u"C:\\Data/\\"},
    };
    for (const auto& c : cases) {
        PathBuffer buffer;
        buffer.Append(c.text);
        buffer.AppendBackslash();
        EXPECT_EQ(Text(buffer), std::u16string(c.expected)) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    }
}

TEST(PathBuffer, NullTextAppendsNothing) {
    PathBuffer buffer;
    buffer.Append(nullptr);
    EXPECT_TRUE(buffer.Fits());
    EXPECT_EQ(buffer.length, 0u);
}

}  // namespace
