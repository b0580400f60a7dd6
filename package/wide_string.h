// WideString: the program's own UTF-16 string, used for every name and path.
#pragma once
#include <cstdint>

// UTF-16 code unit on every system (wchar_t is 32 bits outside Windows).
using WideChar = char16_t;

uint32_t WideLength(const WideChar* text);  // units before the NUL; 0 for null

// One exact-size heap buffer holding a NUL-terminated text, or no buffer at all.
// "No text" and "empty text" are two states; readers treat no text as empty.
class WideString {
public:
    WideString() = default;
    explicit WideString(const WideChar* text);
    WideString(const WideString& other);
    WideString& operator=(const WideString& other);
    ~WideString();

    void Assign(const WideChar* text);          // text must not be null
    void Assign(const WideString& other);
    void Append(const WideChar* text);          // null counts as empty
    void Append(const WideString& other);
    void AppendChar(WideChar unit);
    void Resize(uint32_t units);                // n zeroed units holding the first min(len, n-1)
    void EnsureEndsWith(WideChar unit);
    void Clear();                               // back to "no text"
    void TakeBuffer(WideChar* buffer);          // adopts a NUL-terminated buffer from new[]
    void Swap(WideString& other) {              // the two texts change places, nothing is copied
        WideChar* const mine = buffer_;
        buffer_ = other.buffer_;
        other.buffer_ = mine;
    }

    bool HasText() const { return buffer_ != nullptr; }
    bool IsEmpty() const { return buffer_ == nullptr || buffer_[0] == 0; }
    const WideChar* Text() const;               // "" when there is no text
    WideChar* Data() { return buffer_; }        // null when there is no text
    uint32_t Length() const { return WideLength(buffer_); }

private:
    WideChar* buffer_ = nullptr;
};
