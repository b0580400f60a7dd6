// The user texts: each set read back whole from its packed form (phrases it shares kept
// once), and the destination dialog's access keys distinct within a set.
#include <gtest/gtest.h>

#include <string>

#include "package/ui_texts.h"

namespace {

TEST(UiTexts, ReadBackWholeWithDistinctAccessKeys) {
    for (bool japanese : {true, false}) {
        UseJapaneseTexts(japanese);
        EXPECT_EQ(std::u16string(Text(UiText::FolderConflict)), japanese ? u"を解凍できません。同名のフォルダが存在します。"
                                                                        : u"cannot be extracted: a folder of the same name exists.");
        EXPECT_EQ(std::u16string(Text(UiText::OutsideDestination)),
                  japanese ? u"は解凍先の外を指すため使用しません。" : u"lies outside the destination: not used.");
        std::u16string keys;
        for (UiText id : {UiText::DestinationLabel, UiText::Browse, UiText::StartMenu, UiText::Desktop, UiText::SendTo}) {
            const std::u16string text = Text(id);
            const char16_t key = text.at(text.find(u'&') + 1) & ~0x20;  // upper case
            EXPECT_EQ(keys.find(key), std::u16string::npos) << "an access key twice, " << (japanese ? "Japanese" : "English");
            keys += key;
        }
    }
    UseJapaneseTexts(true);
}

}  // namespace
