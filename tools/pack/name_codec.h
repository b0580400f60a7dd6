// Member names between the host's UTF-8, the archive's UTF-16 and CP932.
#pragma once
#include <string>

// Strict UTF-8 to UTF-16: false on malformed input, overlong forms, surrogates
// encoded as UTF-8, or code points above U+10FFFF.
bool Utf8ToUtf16(const std::string& text, std::u16string& out);
std::string Utf16ToUtf8(const std::u16string& text);

// The CP932 form of a name. Characters that CP932 cannot hold, or holds only as an
// ASCII character, become '_' and `exact` turns false; the UTF-16 name beside it keeps them.
std::string ToMultiByteName(const std::u16string& text, bool& exact);
