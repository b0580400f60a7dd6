// WideString: exact-size UTF-16 buffers, deep copies.
#include "package/wide_string.h"

#include <cstdlib>
#include <cstring>

uint32_t WideLength(const WideChar* text) {
    uint32_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

static WideChar* CopyOf(const WideChar* text, uint32_t length) {
    auto* copy = static_cast<WideChar*>(std::malloc((length + 1) * sizeof(WideChar)));
    if (!copy) std::abort();
    if (length) std::memcpy(copy, text, length * sizeof(WideChar));
    copy[length] = 0;
    return copy;
}

WideString::WideString(const WideChar* text) {
    if (text) buffer_ = CopyOf(text, WideLength(text));
}

WideString::WideString(const WideString& other) {
    if (other.buffer_) buffer_ = CopyOf(other.buffer_, other.Length());
}

WideString& WideString::operator=(const WideString& other) {
    Assign(other);
    return *this;
}

WideString::~WideString() { std::free(buffer_); }

void WideString::Assign(const WideChar* text) {
    if (text == buffer_) return;
    WideChar* copy = CopyOf(text, WideLength(text));
    std::free(buffer_);
    buffer_ = copy;
}

void WideString::Assign(const WideString& other) {
    if (&other == this) return;
    if (!other.buffer_) {
        Clear();
        return;
    }
    Assign(other.buffer_);
}

void WideString::Append(const WideChar* text) {
    uint32_t have = Length(), add = WideLength(text);
    auto* joined = static_cast<WideChar*>(std::malloc((have + add + 1) * sizeof(WideChar)));
    if (!joined) std::abort();
    if (have) std::memcpy(joined, buffer_, have * sizeof(WideChar));
    if (add) std::memcpy(joined + have, text, add * sizeof(WideChar));
    joined[have + add] = 0;
    std::free(buffer_);
    buffer_ = joined;
}

void WideString::Append(const WideString& other) {
    if (&other == this) {
        WideString copy(other);
        Append(copy.buffer_);
        return;
    }
    Append(other.buffer_);
}

void WideString::AppendChar(WideChar unit) {
    const WideChar one[2] = {unit, 0};
    Append(one);
}

void WideString::Resize(uint32_t units) {
    auto* sized = static_cast<WideChar*>(std::calloc(units ? units : 1, sizeof(WideChar)));
    if (!sized) std::abort();
    uint32_t keep = Length();
    if (units == 0) keep = 0;
    else if (keep > units - 1) keep = units - 1;
    if (keep) std::memcpy(sized, buffer_, keep * sizeof(WideChar));
    std::free(buffer_);
    buffer_ = sized;
}

void WideString::EnsureEndsWith(WideChar unit) {
    uint32_t n = Length();
    if (n == 0 || buffer_[n - 1] != unit) AppendChar(unit);
}

void WideString::Clear() {
    std::free(buffer_);
    buffer_ = nullptr;
}

void WideString::TakeBuffer(WideChar* buffer) {
    if (buffer == buffer_) return;
    std::free(buffer_);
    buffer_ = buffer;
}

const WideChar* WideString::Text() const { return buffer_ ? buffer_ : u""; }
