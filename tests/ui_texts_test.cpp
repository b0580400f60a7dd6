// The user texts as the stub and the host tool show them: each set read back whole from
// its packed form, and the destination dialog's access keys distinct within a set.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "package/ui_texts.h"

namespace {

std::u16string Shown(UiText id) { return Text(id); }

TEST(UiTexts, EachSetReadsBackWholeWithItsSharedPhrases) {
    UseJapaneseTexts(true);
    EXPECT_EQ(Shown(UiText::FolderConflict), u"を解凍できません。同名のフォルダが存在します。");
    EXPECT_EQ(Shown(UiText::CannotCreateFolder), u"フォルダを作成できません");
    EXPECT_EQ(Shown(UiText::DestinationLabel), u"解凍先ﾌｫﾙﾀﾞ(&F):");
    EXPECT_EQ(Shown(UiText::OutsideDestination), u"は解凍先の外を指すため使用しません。");
    UseJapaneseTexts(false);
    EXPECT_EQ(Shown(UiText::UnknownHeader), u"Unknown header");
    EXPECT_EQ(Shown(UiText::FileConflict), u"cannot be created: a file of the same name exists.");
    EXPECT_EQ(Shown(UiText::LinkInPath), u"cannot be extracted: its path goes through a link in the destination.");
    EXPECT_EQ(Shown(UiText::OutsideDestination), u"lies outside the destination: not used.");
    UseJapaneseTexts(true);
}

TEST(UiTexts, DialogAccessKeysAreDistinctInEachLanguage) {
    for (bool japanese : {true, false}) {
        UseJapaneseTexts(japanese);
        std::string keys;
        for (UiText id : {UiText::DestinationLabel, UiText::Browse, UiText::StartMenu, UiText::Desktop, UiText::SendTo}) {
            const std::u16string text = Shown(id);
            const size_t at = text.find(u'&');
            ASSERT_NE(at, std::u16string::npos);
            const char key = static_cast<char>(std::toupper(static_cast<unsigned char>(text.at(at + 1))));
            EXPECT_EQ(keys.find(key), std::string::npos) << "&" << key << " twice, " << (japanese ? "Japanese" : "English");
            keys += key;
        }
    }
    UseJapaneseTexts(true);
}

}  // namespace
