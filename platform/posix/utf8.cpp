// UTF-16 <-> UTF-8 conversion for POSIX paths and console output.
#include "platform/posix/utf8.h"

#include <cstdlib>

Utf8Text::Utf8Text(const WideChar* text) {
    uint32_t units = WideLength(text);
    const size_t bytes = size_t{units} * 3 + 1;
    text_ = bytes <= sizeof local_ ? local_ : static_cast<char*>(std::malloc(bytes));
    if (!text_) std::abort();
    char* out = text_;
    for (uint32_t i = 0; i < units; ++i) {
        // Paths are mostly ASCII: a run of it goes over as it is.
        for (; i < units && text[i] < 0x80; ++i) *out++ = static_cast<char>(text[i]);
        if (i == units) break;
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            *out++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *out++ = static_cast<char>(0xC0 | (c >> 6));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *out++ = static_cast<char>(0xE0 | (c >> 12));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    *out = 0;
}

Utf8Text::~Utf8Text() {
    if (text_ != local_) std::free(text_);
}

// Length of a valid UTF-8 sequence starting at s and its code point; 0 when invalid.
static int DecodeSequence(const unsigned char* s, uint32_t& cp) {
    if (s[0] < 0x80) { cp = s[0]; return 1; }
    int n = (s[0] & 0xE0) == 0xC0 ? 2 : (s[0] & 0xF0) == 0xE0 ? 3 : (s[0] & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0) return 0;
    cp = s[0] & (0x7F >> n);
    for (int i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    static const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

void AssignFromUtf8(WideString& out, const char* text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    uint32_t bytes = 0;
    while (s[bytes]) ++bytes;
    auto* buffer = new WideChar[bytes * 2 + 1];
    uint32_t units = 0;
    while (*s) {
        uint32_t cp;
        int n = DecodeSequence(s, cp);
        if (n == 0) { cp = 0xFFFD; n = 1; }
        s += n;
        if (cp >= 0x10000) {
            buffer[units++] = static_cast<WideChar>(0xD800 + ((cp - 0x10000) >> 10));
            buffer[units++] = static_cast<WideChar>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            buffer[units++] = static_cast<WideChar>(cp);
        }
    }
    buffer[units] = 0;
    out.TakeBuffer(buffer);
}
