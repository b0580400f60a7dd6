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
    u"を作成できません。同名のファイルが存在します。",
    u"を解凍できません。未対応の圧縮形式です。",
    u"を解凍できません。ファイル名が正しくありません。",
    u"書庫が壊れています。これ以降のファイルは解凍できません。",
    u"を解凍できません。展開先の中のリンクを経由します。",
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
    u"cannot be created: a file of the same name exists.",
    u"cannot be extracted: its compression method is not supported.",
    u"cannot be extracted: the name is not valid.",
    u"The archive is damaged: the files after this point cannot be extracted.",
    u"cannot be extracted: its path goes through a link in the destination.",
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
