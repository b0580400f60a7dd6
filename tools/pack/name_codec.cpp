#include "tools/pack/name_codec.h"

#include <iconv.h>

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

void AppendUnit(std::u16string& out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// One character of CP932, or nothing when it has none.
std::string Cp932Character(iconv_t cd, const std::u16string& unit) {
    char in[4];
    for (size_t i = 0; i < unit.size(); ++i) {
        in[2 * i] = static_cast<char>(unit[i] & 0xFF);
        in[2 * i + 1] = static_cast<char>(unit[i] >> 8);
    }
    char out[8];
    char* inAt = in;
    char* outAt = out;
    size_t inLeft = unit.size() * 2, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1) || inLeft) return {};
    return std::string(out, outAt);
}

}  // namespace

bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
    out.clear();
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        int extra;
        char32_t cp;
        if (c < 0x80) {
            extra = 0;
            cp = c;
        } else if (c >= 0xC2 && c < 0xE0) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c < 0xF0) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c < 0xF5) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= n || !IsContinuation(s[i + k])) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static const char32_t Smallest[4] = {0, 0x80, 0x800, 0x10000};
        if (cp < Smallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
        AppendUnit(out, cp);
        i += extra + 1;
    }
    return true;
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp < 0xE000)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string ToMultiByteName(const std::u16string& text, bool& exact) {
    exact = true;
    std::string out;
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    for (size_t i = 0; i < text.size(); ++i) {
        size_t units = (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size()) ? 2 : 1;
        std::u16string character = text.substr(i, units);
        i += units - 1;
        if (character[0] < 0x80) {
            out.push_back(static_cast<char>(character[0]));
            continue;
        }
        std::string bytes = cd == reinterpret_cast<iconv_t>(-1) ? std::string() : Cp932Character(cd, character);
        // iconv writes the yen sign as a backslash and the overline as '~': the first would
        // split the name at a folder separator for every reader of the CP932 form.
        if (bytes.empty() || static_cast<unsigned char>(bytes[0]) < 0x80) {
            exact = false;
            out.push_back('_');
        } else {
            out += bytes;
        }
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return out;
}
