// The method id table: a MethodId is an index into it.
#include <cstring>

#include "archive/lzh_header.h"

namespace {

// The three letters between the dashes of each method id ("-lh0-" ... "-lhd-"), in
// MethodId order: the dashes are tested once rather than stored twelve times.
constexpr char MethodLetters[] = "lh0lh1lh2lh3lh4lh5lh6lh7lzslz5lz4lhd";
static_assert(sizeof MethodLetters == 3 * MethodCount + 1);

}  // namespace

MethodId LookUpMethod(const char method[5]) {
    if (method[0] == '-' && method[4] == '-')
        for (uint32_t id = 0; id < MethodCount; ++id)
            if (std::memcmp(method + 1, MethodLetters + 3 * id, 3) == 0) return static_cast<MethodId>(id);
    return MethodUnknown;
}
