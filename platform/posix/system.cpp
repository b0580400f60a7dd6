// The core's system services on POSIX.
#include "platform/system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "platform/posix/utf8.h"

CreateFolderResult CreateFolder(const WideChar* path) {
    Utf8Text name(path);
    if (::mkdir(name.c_str(), 0755) == 0) return CreateFolderResult::Created;
    return errno == EEXIST ? CreateFolderResult::AlreadyExists : CreateFolderResult::Failed;
}

bool DeletePath(const WideChar* path) {
    Utf8Text name(path);
    return ::unlink(name.c_str()) == 0 || errno == ENOENT;
}

bool IsExistingFolder(const WideChar* path) {
    Utf8Text name(path);
    struct stat info;
    return ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathExists(const WideChar* path) {
    Utf8Text name(path);
    struct stat info;
    return ::lstat(name.c_str(), &info) == 0;
}

bool SetFileMode(const WideChar* path, uint32_t mode) {
    Utf8Text name(path);
    return ::chmod(name.c_str(), static_cast<mode_t>(mode & FilePermissionBits)) == 0;
}

bool SetFileTimes(const WideChar* path, int64_t unixSeconds) {
    Utf8Text name(path);
    struct utimbuf times;
    times.actime = static_cast<time_t>(unixSeconds);
    times.modtime = static_cast<time_t>(unixSeconds);
    return ::utime(name.c_str(), &times) == 0;
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

uint64_t AvailablePhysicalMemory() {
    long pages = ::sysconf(_SC_AVPHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

int32_t TimeZoneOffset() {
    ::tzset();
    return static_cast<int32_t>(timezone);
}

WideString SpecialFolderPath(int) { return WideString(u""); }

void NotifyShellOfCreate(const WideChar*) {}
