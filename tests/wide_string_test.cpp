// WideString: the two empty states, exact copies, and the path-building helpers.
#include <gtest/gtest.h>

#include <string>

#include "package/wide_string.h"

static std::u16string Str(const WideString& s) { return s.Text(); }

TEST(WideString, NoTextAndEmptyTextAreDistinct) {
    WideString none;
    WideString empty(u"");
    EXPECT_FALSE(none.HasText());
    EXPECT_TRUE(empty.HasText());
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_TRUE(empty.IsEmpty());
    WideString copy(none);
    EXPECT_FALSE(copy.HasText());
    WideString fromNull(nullptr);
    EXPECT_FALSE(fromNull.HasText());
}

TEST(WideString, AppendGivesTextEvenFromNothing) {
    WideString s;
    s.Append(static_cast<const WideChar*>(nullptr));
    EXPECT_TRUE(s.HasText());
    EXPECT_EQ(Str(s), u"");
    s.Append(u"ab");
    s.AppendChar(u'c');
    s.Append(s);
    EXPECT_EQ(Str(s), u"abcabc");
}

TEST(WideString, SelfAssignmentKeepsText) {
    WideString s(u"keep");
    s.Assign(s);
    s.Assign(s.Data());
    EXPECT_EQ(Str(s), u"keep");
}

TEST(WideString, ResizeKeepsPrefixAndZeroes) {
    WideString s(u"abcdef");
    s.Resize(4);
    EXPECT_EQ(Str(s), u"abc");
    s.Resize(8);
    EXPECT_EQ(Str(s), u"abc");
    EXPECT_EQ(s.Data()[7], 0);
}

TEST(WideString, EnsureEndsWith) {
    WideString none;
    none.EnsureEndsWith(u'\\');
    EXPECT_EQ(Str(none), u"\\");
    WideString dir(u"C:\\Work\\");
    dir.EnsureEndsWith(u'\\');
    EXPECT_EQ(Str(dir), u"C:\\Work\\");
    WideString plain(u"C:\\Work");
    plain.EnsureEndsWith(u'\\');
    EXPECT_EQ(Str(plain), u"C:\\Work\\");
}
