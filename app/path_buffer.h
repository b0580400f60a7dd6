// PathBuffer: a path built in the 260-unit buffer that window and shell calls take.
// A text that does not fit is never cut silently: the buffer remembers that it
// overflowed, and callers that need the whole path give up.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

constexpr uint32_t PathBufferUnits = 260;

struct PathBuffer {
    WideChar text[PathBufferUnits] = {};
    uint32_t length = 0;
    bool overflowed = false;

    bool Fits() const { return !overflowed; }

    void Append(const WideChar* more) {
        for (; more && *more; ++more) AppendChar(*more);
    }
    // Out of line: one place reads the texts instead of every caller (less code in the stub).
    __attribute__((noinline)) void Append(const WideString& more) { Append(more.Text()); }
    void AppendChar(WideChar unit) {
        if (length + 1 >= PathBufferUnits) {
            overflowed = true;
            return;
        }
        text[length++] = unit;
        text[length] = 0;
    }
    // One backslash, unless the text is empty or already ends with one.
    void AppendBackslash() {
        if (length > 0 && text[length - 1] != u'\\') AppendChar(u'\\');
    }
};
