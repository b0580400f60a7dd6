// The core's system services on POSIX.
#include "platform/system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/utf8.h"

CreateFolderResult CreateDestinationFolder(const WideChar* path) {
    Utf8Text name(path);
    if (::mkdir(name.c_str(), 0755) == 0) return CreateFolderResult::Created;
    return errno == EEXIST ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

WideString CurrentDirectoryPath() {
    WideString out;
    char* here = ::getcwd(nullptr, 0);
    if (here) {
        AssignFromUtf8(out, here);
        std::free(here);
    } else {
        out.Assign(u"");
    }
    return out;
}

bool SetCurrentFolder(const WideChar* path) {
    Utf8Text name(path);
    return ::chdir(name.c_str()) == 0;
}

uint32_t LastErrorCode() { return static_cast<uint32_t>(errno); }
void SetLastErrorCode(uint32_t code) { errno = static_cast<int>(code); }

WideString SystemErrorText(uint32_t code) {
    WideString out;
    AssignFromUtf8(out, std::strerror(static_cast<int>(code)));
    return out;
}

uint32_t OutOfMemoryErrorCode() { return ENOMEM; }

int32_t TimeZoneOffset() {
    // tzset writes the variable it reads, and a thread decoding ahead reads headers too.
    static std::mutex zone;
    std::lock_guard<std::mutex> hold(zone);
    ::tzset();
    return static_cast<int32_t>(timezone);
}

// The variables are those of the Windows machine that will run the package, not this one's.
void ExpandEnvironmentVariables(WideString&) {}

WideString SpecialFolderPath(int) { return WideString(u""); }

bool ShellTakesNotices() { return false; }
void NotifyShellOfCreate(const WideChar*) {}

bool StartThread(uintptr_t& thread, void* (*routine)(void*), void* argument) {
    pthread_t made;
    if (pthread_create(&made, nullptr, routine, argument) != 0) return false;
    thread = static_cast<uintptr_t>(made);
    return true;
}

void JoinThread(uintptr_t thread) { pthread_join(static_cast<pthread_t>(thread), nullptr); }
