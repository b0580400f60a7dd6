// The two text sets, in UiText order. Each set is one block of texts that end in a 0, found
// by counting: no table of addresses. Both are kept at one byte a unit, phrases they repeat
// once, and widened into a buffer when chosen: the English set is plain ASCII; the Japanese
// set keeps ASCII as is and any other unit as 0x80 plus its place in a table of the units
// the set uses.
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
    u"解凍先ﾌｫﾙﾀﾞ(&F):\0"
    u"参照(&R)\0"
    u"スタートメニューに登録する(&M)\0"
    u"デスクトップにショートカットを作成する(&D)\0"
    u"「送る」に登録する(&T)\0"
    u"キャンセル\0"
    u"解凍先フォルダの指定\0"
    u"中止\0"
    u"パッケージが壊れているか不完全です。ダウンロードし直してください。\0"
    u"を作成または起動できません。\0"
    u"は解凍先の外を指すため使用しません。";

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
    "Abort\0"
    "The package is damaged or incomplete: download it again.\0"
    "cannot be created or started.\0"
    "lies outside the destination: not used.";

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

// Phrases that several texts of a set share are kept once, behind the texts: a text holds
// the byte k in place of the set's phrase k (1 on; no text uses these control characters).
// At each place the phrases are tried in this order.
constexpr WideChar JapanesePhrases[] = u"を解凍できません。\0できません。\0フォルダ";
constexpr char EnglishPhrases[] =
    "cannot be extracted: \0 of the same name exists.\0cannot be created\0 the destination\0 damaged";

// A set with its phrases coded: the texts, then the phrases, each ended by a 0.
template <typename Char, uint32_t Capacity>
struct CodedTexts {
    Char units[Capacity] = {};
    uint32_t length = 0;
    uint32_t textLength = 0;  // what the texts take; the phrases follow
};

// The length of `phrase` (ended by a 0) when it stands at `at`, before `end`; else 0.
template <typename Char>
constexpr uint32_t MatchAt(const Char* at, const Char* end, const Char* phrase) {
    uint32_t n = 0;
    for (; phrase[n]; ++n)
        if (at + n >= end || at[n] != phrase[n]) return 0;
    return n;
}

template <typename Char, uint32_t Size, uint32_t PhraseSize>
constexpr CodedTexts<Char, Size + PhraseSize> Code(const Char (&texts)[Size], const Char (&phrases)[PhraseSize]) {
    CodedTexts<Char, Size + PhraseSize> coded;
    for (uint32_t i = 0; i < Size;) {
        uint32_t code = 0, matched = 0;
        for (const Char* phrase = phrases; phrase < phrases + PhraseSize && !matched;) {
            ++code;
            matched = MatchAt(texts + i, texts + Size, phrase);
            while (*phrase++) {}
        }
        coded.units[coded.length++] = matched ? static_cast<Char>(code) : texts[i];
        i += matched ? matched : 1;
    }
    coded.textLength = coded.length;
    for (Char unit : phrases) coded.units[coded.length++] = unit;
    return coded;
}

template <typename Char, uint32_t Size>
constexpr bool HoldsNoPhraseCode(const Char (&texts)[Size]) {
    for (Char unit : texts)
        if (unit > 0 && unit < 0x20) return false;
    return true;
}
static_assert(HoldsNoPhraseCode(JapaneseTexts) && HoldsNoPhraseCode(EnglishTexts));
static_assert(HoldsNoPhraseCode(JapanesePhrases) && HoldsNoPhraseCode(EnglishPhrases));

constexpr auto CodedJapanese = Code(JapaneseTexts, JapanesePhrases);
constexpr auto CodedEnglish = Code(EnglishTexts, EnglishPhrases);

// How many different units above ASCII `coded` uses.
template <typename Coded>
constexpr uint32_t CountWideUnits(const Coded& coded) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < coded.length; ++i) {
        bool seen = false;
        for (uint32_t j = 0; j < i; ++j) seen = seen || coded.units[j] == coded.units[i];
        count += coded.units[i] >= 0x80 && !seen;
    }
    return count;
}

template <uint32_t Size, uint32_t Units>
struct PackedTexts {
    uint8_t bytes[Size];
    WideChar units[Units];
    uint32_t textLength;
};

// Made while compiling: the literals above are not linked, only their packed form.
template <uint32_t Size, uint32_t Units, typename Coded>
constexpr PackedTexts<Size, Units> Pack(const Coded& coded) {
    static_assert(Units <= 0x80);
    PackedTexts<Size, Units> packed = {};
    packed.textLength = coded.textLength;
    uint32_t used = 0;
    for (uint32_t i = 0; i < Size; ++i) {
        WideChar unit = coded.units[i];
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
constexpr auto PackedJapanese = Pack<CodedJapanese.length, CountWideUnits(CodedJapanese)>(CodedJapanese);
constexpr auto PackedEnglish = Pack<CodedEnglish.length, 1>(CodedEnglish);

constexpr uint32_t JapaneseUnits = sizeof JapaneseTexts / sizeof(WideChar);
constexpr uint32_t ChosenUnits = sizeof EnglishTexts > JapaneseUnits ? sizeof EnglishTexts : JapaneseUnits;
WideChar chosenTexts[ChosenUnits];  // empty until a set is chosen
bool english = false;

// Widens the packed texts before `end` into chosenTexts; the phrases stand from `end` on.
void Widen(const uint8_t* at, const uint8_t* end) {
    WideChar* out = chosenTexts;
    const uint8_t* back = nullptr;  // in a phrase: where the text goes on
    while (back || at < end) {
        uint8_t unit = *at++;
        if (back && unit == 0) {
            at = back;
            back = nullptr;
        } else if (unit > 0 && unit < 0x20) {
            back = at;
            for (at = end; --unit > 0;)
                while (*at++) {}
        } else {
            *out++ = unit < 0x80 ? unit : PackedJapanese.units[unit - 0x80];
        }
    }
}

}  // namespace

void UseJapaneseTexts(bool japanese) {
    english = !japanese;
    const uint8_t* bytes = english ? PackedEnglish.bytes : PackedJapanese.bytes;
    Widen(bytes, bytes + (english ? PackedEnglish.textLength : PackedJapanese.textLength));
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
