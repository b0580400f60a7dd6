// The method id table: a MethodId is an index into it.
#include <cstring>

#include "archive/lzh_header.h"

const char MethodNames[MethodCount][6] = {
    "-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-",
    "-lh6-", "-lh7-", "-lzs-", "-lz5-", "-lz4-", "-lhd-",
};

MethodId LookUpMethod(const char method[5]) {
    for (uint32_t id = 0; id < MethodCount; ++id)
        if (std::memcmp(method, MethodNames[id], 5) == 0) return static_cast<MethodId>(id);
    return MethodUnknown;
}
