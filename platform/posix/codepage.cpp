// Multibyte names converted with iconv, CP932 by default.
#include "platform/posix/codepage.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

#include "platform/system.h"

static char codePage[64] = "CP932";

namespace {

bool IsShiftJisLeadByte(uint8_t byte) { return (byte >= 0x80 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// The lead bytes of the chosen code page, as iconv knows them: a byte alone that is the
// start of an incomplete character. Until one is chosen, those of CP932 as Windows takes
// them, which the stub uses too.
struct LeadBytes {
    bool lead[256];
    LeadBytes() {
        for (int byte = 0; byte < 256; ++byte) lead[byte] = IsShiftJisLeadByte(static_cast<uint8_t>(byte));
    }
    void Probe(iconv_t cd) {
        for (int byte = 0; byte < 256; ++byte) {
            char in[1] = {static_cast<char>(byte)}, out[16];
            char *inAt = in, *outAt = out;
            size_t inLeft = 1, outLeft = sizeof out;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            lead[byte] = ::iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1) && errno == EINVAL;
        }
    }
} leadBytes;

// Opening a conversion costs more than converting a name: each thread keeps the one it
// opened last, for as long as the code page stays the same.
struct Converter {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    char page[sizeof codePage] = {};
    bool asciiIsItself = false;  // bytes 1-127 are the same characters (CP932: yes; SHIFT_JIS: 0x7E is ‾)
    ~Converter() { Close(); }
    void Close() {
        if (cd != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd);
        cd = reinterpret_cast<iconv_t>(-1);
    }
    // The conversion from the code page in use, in its initial state; -1 when there is none.
    iconv_t Open() {
        if (cd == reinterpret_cast<iconv_t>(-1) || std::strcmp(page, codePage) != 0) {
            Close();
            cd = ::iconv_open("UTF-16LE", codePage);
            std::memcpy(page, codePage, sizeof page);
            asciiIsItself = cd != reinterpret_cast<iconv_t>(-1) && ProbeAscii();
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return cd;
    }
    bool ProbeAscii() {
        for (int byte = 1; byte < 128; ++byte) {
            char in[1] = {static_cast<char>(byte)}, out[4];
            char *inAt = in, *outAt = out;
            size_t inLeft = 1, outLeft = sizeof out;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (::iconv(cd, &inAt, &inLeft, &outAt, &outLeft) == static_cast<size_t>(-1) || outLeft != 2 ||
                out[0] != in[0] || out[1] != 0)
                return false;
        }
        return true;
    }
};
thread_local Converter converter;

// A name of bytes below 128 in a code page that keeps them as they are, widened without iconv.
bool AssignAscii(WideString& out, const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    if (converter.Open() == reinterpret_cast<iconv_t>(-1) || !converter.asciiIsItself) return false;
    auto* buffer = new WideChar[length + 1];
    for (size_t i = 0; i < length; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
    buffer[length] = 0;
    out.TakeBuffer(buffer);
    return true;
}

}  // namespace

bool SetMultiByteCodePage(const char* name) {
    if (!name || std::strlen(name) >= sizeof codePage) return false;
    iconv_t probe = ::iconv_open("UTF-16LE", name);
    if (probe == reinterpret_cast<iconv_t>(-1)) return false;
    leadBytes.Probe(probe);
    ::iconv_close(probe);
    std::strcpy(codePage, name);
    return true;
}

bool IsMultiByteLeadByte(uint8_t byte) { return leadBytes.lead[byte]; }

const char* MultiByteCodePage() { return codePage; }

// Converts what iconv can; a byte it cannot map becomes U+FFFD and the walk goes on.
void AssignFromMultiByte(WideString& out, const char* text) {
    if (!text) {
        out.Clear();
        return;
    }
    size_t inLeft = std::strlen(text);
    if (AssignAscii(out, text, inLeft)) return;
    size_t capacity = 2 * inLeft + 2;  // units, terminator included
    auto* buffer = new WideChar[capacity]();
    iconv_t cd = converter.Open();
    size_t units = 0;
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (; units < inLeft; ++units) buffer[units] = static_cast<unsigned char>(text[units]);
    } else {
        char* in = const_cast<char*>(text);
        while (inLeft > 0 && units + 1 < capacity) {
            char* outAt = reinterpret_cast<char*>(buffer + units);
            size_t outLeft = (capacity - 1 - units) * sizeof(WideChar);
            size_t outBefore = outLeft;
            size_t r = ::iconv(cd, &in, &inLeft, &outAt, &outLeft);
            units += (outBefore - outLeft) / sizeof(WideChar);
            if (r != static_cast<size_t>(-1) || inLeft == 0) break;
            if (errno == E2BIG || units + 1 >= capacity) break;
            buffer[units++] = 0xFFFD;  // a byte iconv cannot take
            ++in;
            --inLeft;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    // iconv wrote little-endian units; on a big-endian host they would need a swap.
    buffer[units] = 0;
    out.TakeBuffer(buffer);
}
