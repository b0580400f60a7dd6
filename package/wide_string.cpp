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

// Every text the class builds is one or two runs joined into a fresh buffer; the runs are
// copied before the caller frees the old buffer, so either may lie inside it.
static WideChar* Joined(const WideChar* first, uint32_t firstLength, const WideChar* second,
                        uint32_t secondLength) {
    auto* joined = static_cast<WideChar*>(std::malloc((firstLength + secondLength + 1) * sizeof(WideChar)));
    if (!joined) std::abort();
    if (firstLength) std::memcpy(joined, first, firstLength * sizeof(WideChar));
    if (secondLength) std::memcpy(joined + firstLength, second, secondLength * sizeof(WideChar));
    joined[firstLength + secondLength] = 0;
    return joined;
}

WideString::WideString(const WideChar* text) {
    if (text) buffer_ = Joined(text, WideLength(text), nullptr, 0);
}

WideString::WideString(const WideString& other) : WideString(other.buffer_) {}

WideString& WideString::operator=(const WideString& other) {
    Assign(other);
    return *this;
}

WideString::~WideString() { std::free(buffer_); }

void WideString::Assign(const WideChar* text) { TakeBuffer(Joined(text, WideLength(text), nullptr, 0)); }

void WideString::Assign(const WideString& other) {
    if (other.buffer_) Assign(other.buffer_);
    else Clear();
}

void WideString::Append(const WideChar* text) { TakeBuffer(Joined(buffer_, Length(), text, WideLength(text))); }

void WideString::Append(const WideString& other) { Append(other.buffer_); }

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
