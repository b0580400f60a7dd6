#include "tools/pack/windows_names.h"

#include <cwctype>

namespace {

bool IsReservedDevice(const std::u16string& name) {
    // The part before the first dot, trailing blanks dropped, as Windows matches it.
    std::u16string base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.pop_back();
    base = FoldCase(base);
    static const char16_t* const Fixed[] = {u"con", u"prn", u"aux", u"nul", u"conin$", u"conout$"};
    for (const char16_t* device : Fixed)
        if (base == device) return true;
    if (base.size() == 4 && (base.compare(0, 3, u"com") == 0 || base.compare(0, 3, u"lpt") == 0)) {
        char16_t digit = base[3];
        return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' || digit == u'\u00B2' || digit == u'\u00B3';
    }
    return false;
}

}  // namespace

std::u16string FoldCase(const std::u16string& name) {
    std::u16string folded = name;
    for (char16_t& unit : folded) {
        if (unit >= 0xD800 && unit < 0xE000) continue;
        // Windows compares upper-case forms, so final and medial sigma are one name there
        // though their lower-case forms differ; folding through both forms errs on the side
        // of calling two names one.
        unit = static_cast<char16_t>(std::towlower(std::towupper(static_cast<wint_t>(unit))));
    }
    return folded;
}

std::string WindowsNameProblem(const std::u16string& name) {
    if (name.empty()) return "an empty name";
    if (name == u"." || name == u"..") return "a name that means a folder itself or its parent";
    if (name.size() > 255) return "a name longer than 255 UTF-16 units";
    for (char16_t unit : name) {
        if (unit < 0x20) return "a control character in the name";
        if (std::u16string_view(u"<>:\"/\\|?*").find(unit) != std::u16string_view::npos)
            return std::string("the character '") + static_cast<char>(unit) + "' in the name";
    }
    if (name.back() == u'.' || name.back() == u' ') return "a name ending in a dot or a blank, which Windows drops";
    if (IsReservedDevice(name)) return "a reserved device name";
    return {};
}
