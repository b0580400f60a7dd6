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
    u"解凍先ﾌｫﾙﾀﾞ(&D):",
    u"参照(&R)",
    u"スタートメニューに登録する(&M)",
    u"デスクトップにショートカットを作成する(&D)",
    u"「送る」に登録する(&T)",
    u"キャンセル",
    u"解凍先フォルダの指定",
    u"中止",
};

const WideChar* const EnglishTexts[TextCount] = {
    u"Unknown header",
    u"cannot be extracted: a folder of the same name exists.",
    u"The file ",
    u" is damaged.",
    u"The folder cannot be created.",
    u"Extract to &folder:",
    u"&Browse",
    u"Add to the Start &menu",
    u"Create a &desktop shortcut",
    u"Add to Send &To",
    u"Cancel",
    u"Choose the destination folder",
    u"Abort",
};

bool japaneseTexts = true;

}  // namespace

void UseJapaneseTexts(bool japanese) { japaneseTexts = japanese; }
bool UsingJapaneseTexts() { return japaneseTexts; }

const WideChar* Text(UiText id) {
    return (japaneseTexts ? JapaneseTexts : EnglishTexts)[static_cast<uint32_t>(id)];
}
