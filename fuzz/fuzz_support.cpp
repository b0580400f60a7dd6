// The silent front end and the path check of the fuzz targets.
#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_targets.h"
#include "platform/posix/console_front_end.h"

namespace fuzz {

namespace {

FailureHook failureHook = nullptr;

void IgnoreMessage(void*, const WideChar*, const WideChar*, MessageIcon) {}

bool IsSeparator(WideChar unit) { return unit == u'/' || unit == u'\\'; }

bool IsDotOrSpace(WideChar unit) { return unit == u'.' || unit == u' '; }

}  // namespace

void SetFailureHook(FailureHook hook) { failureHook = hook; }

void Fail(const char* what, const char* file, int line) {
    if (failureHook) return failureHook(what, file, line);
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

void InstallSilentFrontEnd(void (*memberName)(void* context, const WideChar* path)) {
    static FrontEnd silent;
    silent.showMessage = IgnoreMessage;
    silent.memberName = memberName;
    InstallFrontEnd(&silent);
}

bool IsSafeRelativePath(const WideString& path) {
    const WideChar* text = path.Text();
    uint32_t length = path.Length();
    if (length == 0) return true;
    uint32_t at = 0;
    while (at < length) {
        uint32_t end = at;
        while (end < length && !IsSeparator(text[end])) ++end;
        bool dotsAndSpacesOnly = true;
        for (uint32_t i = at; i < end; ++i) {
            if (text[i] == u':' || text[i] < 0x20) return false;
            dotsAndSpacesOnly = dotsAndSpacesOnly && IsDotOrSpace(text[i]);
        }
        if (dotsAndSpacesOnly) return false;  // also an empty one: "a//b" or a leading "/"
        at = end + 1;
    }
    return true;
}

}  // namespace fuzz
