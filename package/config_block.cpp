// The configuration block: counted UTF-16 texts and option bytes behind the stub image.
#include "package/config_block.h"

const WideChar DefaultCaption[] = u"Kavi SFX";

namespace {

struct BlockBytes {
    const uint8_t* at;
    const uint8_t* end;

    bool Byte(uint8_t& out) {
        if (at == end) return false;
        out = *at++;
        return true;
    }

    // A count byte, then that many UTF-16LE units. A count of 0 leaves an empty text.
    bool Text(WideString& out, uint8_t* countRead = nullptr) {
        uint8_t count;
        if (!Byte(count) || static_cast<uint32_t>(end - at) < 2u * count) return false;
        if (countRead) *countRead = count;
        out.Resize(count + 1u);
        WideChar* text = out.Data();
        for (uint32_t i = 0; i < count; ++i, at += 2) text[i] = static_cast<WideChar>(at[0] | at[1] << 8);
        return true;
    }
};

}  // namespace

uint32_t ParseConfigBlock(const uint8_t* bytes, uint32_t size, SfxConfig& config) {
    BlockBytes block{bytes, bytes + size};
    uint8_t marker;
    if (!block.Byte(marker)) return 0;
    config.caption.Assign(DefaultCaption);
    config.defaultDestination.Assign(u"");
    if (marker == 0) return 1;
    uint8_t captionCount = 0;
    if (!block.Text(config.caption, &captionCount)) return 0;
    if (captionCount == 0) config.caption.Assign(DefaultCaption);
    if (!block.Byte(config.destinationBase) || !block.Text(config.defaultDestination) ||
        !block.Text(config.shortcutTarget) || !block.Byte(config.startMenuOption) ||
        !block.Byte(config.desktopOption) || !block.Byte(config.sendToOption) ||
        !block.Text(config.launchProgram) || !block.Text(config.shortcutName))
        return 0;
    config.present = 1;
    return static_cast<uint32_t>(block.at - bytes);
}
