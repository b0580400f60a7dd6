// The configuration block: counted UTF-16 texts and option bytes behind the stub image.
#include "package/config_block.h"

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
    block.Byte(config.destinationBase);
    block.Text(config.defaultDestination);
    block.Text(config.shortcutTarget);
    block.Byte(config.startMenuOption);
    block.Byte(config.desktopOption);
    block.Byte(config.sendToOption);
    block.Text(config.launchProgram);
    block.Text(config.shortcutName);
    if (block.cut) return 0;
    config.present = 1;
    return static_cast<uint32_t>(block.at - bytes);
}
