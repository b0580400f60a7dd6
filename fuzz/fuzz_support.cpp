// Scratch files, the silent front end and the path check of the fuzz targets.
#include "fuzz/fuzz_support.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_targets.h"
#include "platform/posix/console_front_end.h"

namespace fuzz {

namespace {

FailureHook failureHook = nullptr;

void RemoveRootAtExit() { RemoveTree(ScratchRoot()); }

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

uint32_t messageCount = 0;

void CountMessage(void*, const WideChar*, const WideChar*, MessageIcon) { ++messageCount; }

bool IsSeparator(WideChar unit) { return unit == u'/' || unit == u'\\'; }

bool IsDotOrSpace(WideChar unit) { return unit == u'.' || unit == u' '; }

}  // namespace

void SetFailureHook(FailureHook hook) { failureHook = hook; }

void Fail(const char* what, const char* file, int line) {
    if (failureHook) return failureHook(what, file, line);
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

const std::string& ScratchRoot() {
    static const std::string root = [] {
        struct stat info;
        std::string base = ::stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) ? "/dev/shm" : "/tmp";
        if (const char* tmp = std::getenv("KAVISFX_FUZZ_SCRATCH")) base = tmp;
        std::string pattern = base + "/kavisfx-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("kavisfx fuzz: scratch folder");
            std::abort();
        }
        std::atexit(RemoveRootAtExit);
        return pattern;
    }();
    return root;
}

std::u16string WidePath(const std::string& path) {
    std::u16string wide;
    for (unsigned char c : path) wide.push_back(c);  // scratch paths are ASCII
    return wide;
}

bool WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

bool RemoveTree(const std::string& path) {
    return ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

void InstallSilentFrontEnd(void (*memberName)(void* context, const WideChar* path)) {
    static FrontEnd silent;
    silent.showMessage = CountMessage;
    silent.memberName = memberName;
    InstallFrontEnd(&silent);
}

uint32_t MessagesShown() { return messageCount; }

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
