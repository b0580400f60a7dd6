// UTF-16 <-> UTF-8 at the boundary to POSIX calls.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

// A UTF-8 copy of a UTF-16 text; unpaired surrogates become U+FFFD. Most paths fit the
// copy's own buffer, so a call to the system costs no allocation; longer ones are malloc'd.
class Utf8Text {
public:
    explicit Utf8Text(const WideChar* text);
    Utf8Text(const Utf8Text&) = delete;
    Utf8Text& operator=(const Utf8Text&) = delete;
    ~Utf8Text();
    const char* c_str() const { return text_; }

private:
    char* text_ = nullptr;
    char local_[256];
};

// Decodes UTF-8 (invalid bytes become U+FFFD) into `out`.
void AssignFromUtf8(WideString& out, const char* text);
