// Folder separators of stored names: backslash, slash and 0xFF (U+FFFF) become one unit.
#include "archive/lzh_header.h"
#include "platform/system.h"

void ReplaceSeparatorsMultiByte(char* text, char sep) {
    for (char* at = text; *at; ++at) {
        auto byte = static_cast<uint8_t>(*at);
        // The byte after a lead byte is a trail byte, never a separator.
        if (IsMultiByteLeadByte(byte)) {
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
