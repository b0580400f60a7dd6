// Folder separators of stored names: backslash, slash and 0xFF (U+FFFF) become one unit.
#include "archive/lzh_header.h"

namespace {

// Shift_JIS lead bytes: the byte after one is a trail byte, never a separator.
bool IsLeadByte(uint8_t byte) { return (byte >= 0x80 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

}  // namespace

void ReplaceSeparatorsMultiByte(char* text, char sep) {
    for (char* at = text; *at; ++at) {
        auto byte = static_cast<uint8_t>(*at);
        if (IsLeadByte(byte)) {
            if (at[1] == 0) break;  // a lead byte just before the end has no trail byte
            ++at;
        } else if (byte == '\\' || byte == '/' || byte == 0xFF) {
            *at = sep;
        }
    }
}

void ReplaceSeparators(WideString& path, WideChar sep) {
    WideChar* at = path.Data();
    if (!at) return;
    for (; *at; ++at)
        if (*at == u'\\' || *at == u'/' || *at == 0xFFFF) *at = sep;
}
