// Stored member paths made into relative paths below the destination folder.
//
// The path is cut into components at every slash and backslash (Windows takes both,
// and names from level-0/1 headers and 0x01/0x44 headers keep the archiver's
// backslashes). Each component then goes through these rules, in order:
//   - control characters (below U+0020) become '_';
//   - in the first component kept, a drive ("C:", "a:" of "a:b") is dropped;
//   - after a dropped ".." (or when the path began with a separator) leading dots are
//     dropped: "../.cfg" gives "cfg";
//   - a component of dots and spaces only is dropped: Windows trims trailing dots and
//     spaces, so ".. " and "..." would climb or stay where they are; so is an empty one;
//   - trailing dots and spaces are dropped, as Windows drops them;
//   - colons become '_' (no drive, no alternate data stream), and so do < > " | ? *;
//   - a Windows device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with
//     any extension, in any case) gets a leading '_': "con.txt" gives "_con.txt".
// The kept components are joined with `sep`; a trailing separator is kept ("dir/").
// A "\\?\" or "\\.\" prefix is dropped first, so "\\?\C:\x" gives "x".
#include "archive/paths.h"

namespace {

bool IsSeparator(WideChar unit, WideChar sep) { return unit == u'/' || unit == u'\\' || unit == sep; }

WideChar Upper(WideChar unit) { return unit >= u'a' && unit <= u'z' ? static_cast<WideChar>(unit - 32) : unit; }

bool IsDotOrSpace(WideChar unit) { return unit == u'.' || unit == u' '; }

bool IsDigitOrSuperscript(WideChar unit) {
    return (unit >= u'0' && unit <= u'9') || unit == 0x00B9 || unit == 0x00B2 || unit == 0x00B3;
}

// The device names one after another, each ended by a 0; '#' stands for a digit, the
// superscripts that Windows also takes included.
constexpr char DeviceNames[] = "CON\0PRN\0AUX\0NUL\0CONIN$\0CONOUT$\0COM#\0LPT#";

// True when the text is the name, letters in any case.
bool IsName(const WideChar* text, uint32_t length, const char* name) {
    uint32_t i = 0;
    for (; i < length && name[i]; ++i) {
        bool same = name[i] == '#' ? IsDigitOrSuperscript(text[i]) : Upper(text[i]) == static_cast<WideChar>(name[i]);
        if (!same) return false;
    }
    return i == length && name[i] == 0;
}

// The device name test looks at the part before the first dot, trailing spaces removed.
bool IsDeviceName(const WideChar* component, uint32_t length) {
    uint32_t base = 0;
    while (base < length && component[base] != u'.') ++base;
    while (base > 0 && component[base - 1] == u' ') --base;
    for (const char* name = DeviceNames; name < DeviceNames + sizeof DeviceNames; ++name) {
        if (IsName(component, base, name)) return true;
        while (*name) ++name;  // to the 0 that ends this name
    }
    return false;
}

// One component of the stored path, free of separators.
struct Component {
    const WideChar* text;
    uint32_t length;
};

void DropLeading(Component& part, uint32_t count) {
    part.text += count;
    part.length -= count;
}

// `dots` receives the count of dots, which is what a dropped component is judged by.
bool IsDotsAndSpacesOnly(const Component& part, uint32_t& dots) {
    dots = 0;
    for (uint32_t i = 0; i < part.length; ++i) {
        if (!IsDotOrSpace(part.text[i])) return false;
        dots += part.text[i] == u'.';
    }
    return true;
}

// Control characters and the characters Windows refuses in names (: < > " | ? *) are
// written as '_'. None ever decides whether a component is a drive, dots and spaces only,
// or a device name, so they are replaced while the component is copied. Bit n of the
// mask stands for the unit 32 + n.
constexpr uint32_t RefusedFrom32 = 1u << ('"' - 32) | 1u << ('*' - 32) | 1u << (':' - 32) | 1u << ('<' - 32) |
                                   1u << ('>' - 32) | 1u << ('?' - 32);
WideChar Replaced(WideChar unit) {
    bool refused = unit < 0x20 || (unit < 64 && (RefusedFrom32 >> (unit - 32) & 1)) || unit == u'|';
    return refused ? u'_' : unit;
}

// Writes the kept components of `work` to `out`; returns the units written.
uint32_t JoinComponents(const WideChar* work, uint32_t length, WideChar sep, WideChar* out) {
    uint32_t written = 0, at = 0;
    bool stripDots = IsSeparator(work[0], sep), keptAny = false;
    while (at < length) {
        Component part{work + at, 0};
        while (at + part.length < length && !IsSeparator(part.text[part.length], sep)) ++part.length;
        at += part.length + 1;
        if (!keptAny && part.length >= 2 && part.text[1] == u':') DropLeading(part, 2);
        if (stripDots)
            while (part.length && part.text[0] == u'.') DropLeading(part, 1);
        uint32_t dots;
        if (IsDotsAndSpacesOnly(part, dots)) {
            stripDots = stripDots || dots >= 2;
            continue;
        }
        stripDots = false;
        // Windows drops trailing dots and spaces: "a." would be written as "a".
        while (IsDotOrSpace(part.text[part.length - 1])) --part.length;
        if (keptAny) out[written++] = sep;
        if (IsDeviceName(part.text, part.length)) out[written++] = u'_';
        for (uint32_t i = 0; i < part.length; ++i) out[written++] = Replaced(part.text[i]);
        keptAny = true;
    }
    if (keptAny && IsSeparator(work[length - 1], sep)) out[written++] = sep;
    return written;
}

// "\\?\" and "\\.\": the rest is an ordinary path.
uint32_t DevicePrefixLength(const WideChar* text, uint32_t length, WideChar sep) {
    bool prefixed = length >= 4 && IsSeparator(text[0], sep) && IsSeparator(text[1], sep) &&
                    (text[2] == u'?' || text[2] == u'.') && IsSeparator(text[3], sep);
    return prefixed ? 4 : 0;
}

}  // namespace

void SanitizeMemberPath(WideString& path, WideChar sep) {
    uint32_t length = path.Length();
    if (length == 0) return;
    const WideChar* text = path.Text();
    uint32_t skip = DevicePrefixLength(text, length, sep);
    // Each kept component adds at most one separator and one '_'; the units behind the
    // ones written stay zero.
    WideString out;
    out.Resize(2 * length + 2);
    if (skip < length) JoinComponents(text + skip, length - skip, sep, out.Data());
    path.Assign(out);
}
