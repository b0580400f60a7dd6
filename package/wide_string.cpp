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

// Every buffer the class makes: `units` zeroed units (at least one, so there is always a
// terminator) holding a first and a second run. The runs are copied before the caller
// frees the old buffer, so either may lie inside it.
static WideChar* Built(uint32_t units, const WideChar* first, uint32_t firstLength,
                       const WideChar* second = nullptr, uint32_t secondLength = 0) {
    auto* built = new WideChar[units]();
    if (firstLength) std::memcpy(built, first, firstLength * sizeof(WideChar));
    if (secondLength) std::memcpy(built + firstLength, second, secondLength * sizeof(WideChar));
    return built;
}

static WideChar* CopyOf(const WideChar* text) {
    uint32_t length = WideLength(text);
    return Built(length + 1, text, length);
}

WideString::WideString(const WideChar* text) {
    if (text) buffer_ = CopyOf(text);
}

WideString::WideString(const WideString& other) : WideString(other.buffer_) {}

WideString& WideString::operator=(const WideString& other) {
    Assign(other);
    return *this;
}

WideString::~WideString() { delete[] buffer_; }

void WideString::Assign(const WideChar* text) { TakeBuffer(CopyOf(text)); }

void WideString::Assign(const WideString& other) {
    if (other.buffer_) Assign(other.buffer_);
    else Clear();
}

void WideString::Append(const WideChar* text) {
    uint32_t have = Length(), add = WideLength(text);
    TakeBuffer(Built(have + add + 1, buffer_, have, text, add));
}

void WideString::Append(const WideString& other) { Append(other.buffer_); }

void WideString::AppendChar(WideChar unit) {
    const WideChar one[2] = {unit, 0};
    Append(one);
}

void WideString::Resize(uint32_t units) {
    if (units == 0) units = 1;  // a terminator still
    uint32_t keep = Length();
    if (keep > units - 1) keep = units - 1;
    TakeBuffer(Built(units, buffer_, keep));
}

void WideString::EnsureEndsWith(WideChar unit) {
    uint32_t n = Length();
    if (n == 0 || buffer_[n - 1] != unit) AppendChar(unit);
}

void WideString::Clear() {
    delete[] buffer_;
    buffer_ = nullptr;
}

void WideString::TakeBuffer(WideChar* buffer) {
    if (buffer == buffer_) return;
    delete[] buffer_;
    buffer_ = buffer;
}

// Kept out of line: every copy inlined into a caller would hold the address of the empty
// text, and in the Windows program each such address is one more relocation.
__attribute__((noinline)) const WideChar* WideString::Text() const { return buffer_ ? buffer_ : u""; }
