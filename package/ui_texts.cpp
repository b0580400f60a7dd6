// The two text sets, in UiText order. Each set is one block of texts that end in a 0, found
// by counting: no table of addresses. Both are kept at one byte a unit and widened into a
// buffer when chosen: the English set is plain ASCII; the Japanese set keeps ASCII as is
// and any other unit as 0x80 plus its place in a table of the units the set uses.
#include "package/ui_texts.h"

namespace {

constexpr uint32_t TextCount = static_cast<uint32_t>(UiText::Count);

constexpr WideChar JapaneseTexts[] =
    u"Unknown header\0"
    u"を解凍できません。同名のフォルダが存在します。\0"
    u"ファイル \0"
    u" が壊れています。\0"
    u"フォルダを作成できません\0"
    u"を作成できません。同名のファイルが存在します。\0"
    u"を解凍できません。未対応の圧縮形式です。\0"
    u"を解凍できません。ファイル名が正しくありません。\0"
    u"書庫が壊れています。これ以降のファイルは解凍できません。\0"
    u"を解凍できません。展開先の中のリンクを経由します。\0"
    u"解凍先ﾌｫﾙﾀﾞ(&D):\0"
    u"参照(&R)\0"
    u"スタートメニューに登録する(&M)\0"
    u"デスクトップにショートカットを作成する(&D)\0"
    u"「送る」に登録する(&T)\0"
    u"キャンセル\0"
    u"解凍先フォルダの指定\0"
    u"中止";

constexpr char EnglishTexts[] =
    "Unknown header\0"
    "cannot be extracted: a folder of the same name exists.\0"
    "The file \0"
    " is damaged.\0"
    "The folder cannot be created.\0"
    "cannot be created: a file of the same name exists.\0"
    "cannot be extracted: its compression method is not supported.\0"
    "cannot be extracted: the name is not valid.\0"
    "The archive is damaged: the files after this point cannot be extracted.\0"
    "cannot be extracted: its path goes through a link in the destination.\0"
    "Extract to &folder:\0"
    "&Browse\0"
    "Add to the Start &menu\0"
    "Create a &desktop shortcut\0"
    "Add to Send &To\0"
    "Cancel\0"
    "Choose the destination folder\0"
    "Abort";

template <typename Char, uint32_t Size>
constexpr bool HoldsEveryText(const Char (&texts)[Size]) {
    uint32_t ends = 0;
    for (Char c : texts) ends += c == 0;
    return ends == TextCount;
}
static_assert(HoldsEveryText(JapaneseTexts) && HoldsEveryText(EnglishTexts));
constexpr bool IsAscii(const char (&texts)[sizeof EnglishTexts]) {
    for (char c : texts) if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}
static_assert(IsAscii(EnglishTexts));

// How many different units above ASCII `texts` uses.
template <uint32_t Size>
constexpr uint32_t CountWideUnits(const WideChar (&texts)[Size]) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < Size; ++i) {
        bool seen = false;
        for (uint32_t j = 0; j < i; ++j) seen = seen || texts[j] == texts[i];
        count += texts[i] >= 0x80 && !seen;
    }
    return count;
}

template <uint32_t Size, uint32_t Units>
struct PackedTexts {
    uint8_t bytes[Size];
    WideChar units[Units];
};

// Made while compiling: the literal above is not linked, only its packed form.
template <uint32_t Units, uint32_t Size>
constexpr PackedTexts<Size, Units> Pack(const WideChar (&texts)[Size]) {
    static_assert(Units <= 0x80);
    PackedTexts<Size, Units> packed = {};
    uint32_t used = 0;
    for (uint32_t i = 0; i < Size; ++i) {
        WideChar unit = texts[i];
        if (unit < 0x80) {
            packed.bytes[i] = static_cast<uint8_t>(unit);
            continue;
        }
        uint32_t at = 0;
        while (at < used && packed.units[at] != unit) ++at;
        if (at == used) packed.units[used++] = unit;
        packed.bytes[i] = static_cast<uint8_t>(0x80 + at);
    }
    return packed;
}
constexpr auto PackedJapanese = Pack<CountWideUnits(JapaneseTexts)>(JapaneseTexts);

constexpr uint32_t ChosenUnits =
    sizeof EnglishTexts > sizeof PackedJapanese.bytes ? sizeof EnglishTexts : sizeof PackedJapanese.bytes;
WideChar chosenTexts[ChosenUnits];  // empty until a set is chosen
bool english = false;

}  // namespace

void UseJapaneseTexts(bool japanese) {
    english = !japanese;
    const uint8_t* bytes = english ? reinterpret_cast<const uint8_t*>(EnglishTexts) : PackedJapanese.bytes;
    uint32_t size = english ? sizeof EnglishTexts : sizeof PackedJapanese.bytes;
    for (uint32_t i = 0; i < size; ++i)
        chosenTexts[i] = bytes[i] < 0x80 ? bytes[i] : PackedJapanese.units[bytes[i] - 0x80];
}
bool UsingJapaneseTexts() { return !english; }

const WideChar* Text(UiText id) {
    // Read before any choice: the Japanese set. The stub and the host tool choose before
    // they start a second thread.
    if (chosenTexts[0] == 0) UseJapaneseTexts(true);
    const WideChar* text = chosenTexts;
    for (uint32_t skip = static_cast<uint32_t>(id); skip > 0; --skip)
        while (*text++ != 0) {}
    return text;
}
