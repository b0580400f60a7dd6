// Multibyte names converted with iconv, CP932 by default.
#include "platform/posix/codepage.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

#include "platform/system.h"

static char codePage[64] = "CP932";

bool SetMultiByteCodePage(const char* name) {
    if (!name || std::strlen(name) >= sizeof codePage) return false;
    iconv_t probe = ::iconv_open("UTF-16LE", name);
    if (probe == reinterpret_cast<iconv_t>(-1)) return false;
    ::iconv_close(probe);
    std::strcpy(codePage, name);
    return true;
}

const char* MultiByteCodePage() { return codePage; }

// Converts what iconv can; a byte it cannot map becomes U+FFFD and the walk goes on.
void AssignFromMultiByte(WideString& out, const char* text) {
    if (!text) {
        out.Clear();
        return;
    }
    size_t inLeft = std::strlen(text);
    size_t capacity = 2 * inLeft + 2;  // units, terminator included
    auto* buffer = static_cast<WideChar*>(std::calloc(capacity, sizeof(WideChar)));
    if (!buffer) std::abort();
    iconv_t cd = ::iconv_open("UTF-16LE", codePage);
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
        ::iconv_close(cd);
    }
    // iconv wrote little-endian units; on a big-endian host they would need a swap.
    buffer[units] = 0;
    out.TakeBuffer(buffer);
}
