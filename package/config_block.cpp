// The configuration block: counted UTF-16 texts and option bytes behind the stub image.
#include "package/config_block.h"

#include <cstddef>

const WideChar DefaultCaption[] = u"Kavi SFX";

namespace {

// The fields are read one after another without a test between them: the first that
// does not fit marks the block cut, and every read after it takes nothing and changes
// nothing.
struct BlockBytes {
    const uint8_t* at;
    const uint8_t* end;
    bool cut = false;

    void Byte(uint8_t& out) {
        if (at == end) cut = true;
        else out = *at++;
    }

    // A count byte, then that many UTF-16LE units. A count of 0 leaves an empty text.
    void Text(WideString& out, uint8_t* countRead = nullptr) {
        uint8_t count = 0;
        Byte(count);
        if (cut || static_cast<uint32_t>(end - at) < 2u * count) {
            cut = true;
            at = end;
            return;
        }
        if (countRead) *countRead = count;
        out.Resize(count + 1u);
        WideChar* text = out.Data();
        for (uint32_t i = 0; i < count; ++i, at += 2) text[i] = static_cast<WideChar>(at[0] | at[1] << 8);
    }
};

// The fields behind the caption in stored order, as offsets into the record, the texts
// marked: one loop over them takes fewer bytes than a call written out per field.
constexpr uint8_t TextField = 0x80;
constexpr uint8_t FieldsAfterCaption[] = {
    offsetof(SfxConfig, destinationBase),
    TextField | offsetof(SfxConfig, defaultDestination),
    TextField | offsetof(SfxConfig, shortcutTarget),
    offsetof(SfxConfig, startMenuOption),
    offsetof(SfxConfig, desktopOption),
    offsetof(SfxConfig, sendToOption),
    TextField | offsetof(SfxConfig, launchProgram),
    TextField | offsetof(SfxConfig, shortcutName),
};
static_assert(sizeof(SfxConfig) < TextField);

}  // namespace

uint32_t ParseConfigBlock(const uint8_t* bytes, uint32_t size, SfxConfig& config) {
    BlockBytes block{bytes, bytes + size};
    uint8_t marker = 0;
    block.Byte(marker);
    if (block.cut) return 0;
    config.caption.Assign(DefaultCaption);
    config.defaultDestination.Assign(u"");
    if (marker == 0) return 1;
    uint8_t captionCount = 0;
    block.Text(config.caption, &captionCount);
    if (captionCount == 0) config.caption.Assign(DefaultCaption);
    auto* record = reinterpret_cast<uint8_t*>(&config);
    for (uint8_t field : FieldsAfterCaption) {
        uint8_t* member = record + (field & ~TextField);
        if (field & TextField) block.Text(*reinterpret_cast<WideString*>(member));
        else block.Byte(*member);
    }
    if (block.cut) return 0;
    config.present = 1;
    return static_cast<uint32_t>(block.at - bytes);
}
