// Escaping names for the terminal.
#include "tools/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace {

bool NeedsEscape(uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The length of the well-formed UTF-8 sequence at `at` (0 when there is none) and its
// code point: no overlong forms, no surrogates, nothing above U+10FFFF.
size_t DecodeOne(const std::string& text, size_t at, uint32_t& c) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        c = c << 6 | (byte(at + i) & 0x3F);
    }
    static const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < Least[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0;
    return length;
}

}  // namespace

std::string TerminalText(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t at = 0; at < utf8.size();) {
        uint32_t c = 0;
        size_t length = DecodeOne(utf8, at, c);
        char escape[12];
        if (length == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<uint8_t>(utf8[at]));
            out += escape;
            ++at;
        } else if (NeedsEscape(c)) {
            std::snprintf(escape, sizeof escape, c < 0x80 ? "\\x%02x" : "\\u%04x", c);
            out += escape;
            at += length;
        } else {
            out.append(utf8, at, length);
            at += length;
        }
    }
    return out;
}
