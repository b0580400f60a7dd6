// WideString: no text and empty text apart, appends of itself, and the path helpers.
#include <gtest/gtest.h>

#include <string>

#include "package/wide_string.h"

static std::u16string Str(const WideString& s) { return s.Text(); }

TEST(WideString, NoTextAndEmptyTextAreDistinct) {
    WideString none, copy(none), fromNull(nullptr), empty(u"");
    EXPECT_FALSE(none.HasText() || copy.HasText() || fromNull.HasText());
    EXPECT_TRUE(empty.HasText() && empty.IsEmpty() && none.IsEmpty());
    none.Append(static_cast<const WideChar*>(nullptr));
    EXPECT_TRUE(none.HasText()) << "an append gives text, even of nothing";
}

TEST(WideString, AppendsAssignsAndResizes) {
    WideString s(u"ab");
    s.AppendChar(u'c');
    s.Append(s);
    EXPECT_EQ(Str(s), u"abcabc");
    s.Assign(s);
    s.Assign(s.Data());
    EXPECT_EQ(Str(s), u"abcabc");
    s.Resize(4);
    EXPECT_EQ(Str(s), u"abc");
    s.Resize(8);
    EXPECT_EQ(Str(s), u"abc");
    EXPECT_EQ(s.Data()[7], 0);
}

TEST(WideString, EnsureEndsWith) {
    for (const char16_t* text : {static_cast<const char16_t*>(nullptr), u"C:\\Work\\", u"C:\\Work"}) {
        WideString s(text);
        s.EnsureEndsWith(u'\\');
        EXPECT_EQ(Str(s), text ? u"C:\\Work\\" : u"\\");
    }
}
