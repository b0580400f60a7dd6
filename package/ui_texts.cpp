// The two text sets, indexed by UiText.
#include "package/ui_texts.h"

namespace {

constexpr uint32_t TextCount = static_cast<uint32_t>(UiText::Count);

const WideChar* const JapaneseTexts[TextCount] = {
    u"Unknown header",
    u"を解凍できません。同名のフォルダが存在します。",
    u"ファイル ",
    u" が壊れています。",
    u"フォルダを作成できません",
    u"を解凍できません。展開先の中のリンクを経由します。",
};

const WideChar* const EnglishTexts[TextCount] = {
    u"Unknown header",
    u"cannot be extracted: a folder of the same name exists.",
    u"The file ",
    u" is damaged.",
    u"The folder cannot be created.",
    u"cannot be extracted: its path goes through a link in the destination.",
};

bool japaneseTexts = true;

}  // namespace

void UseJapaneseTexts(bool japanese) { japaneseTexts = japanese; }
bool UsingJapaneseTexts() { return japaneseTexts; }

const WideChar* Text(UiText id) {
    return (japaneseTexts ? JapaneseTexts : EnglishTexts)[static_cast<uint32_t>(id)];
}
