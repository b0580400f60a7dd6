// FileHandle over Win32 file handles.
#include "platform/file_handle.h"

#include <windows.h>

static HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// A file opened for writing never writes through a link put in its place.
bool FileHandle::Open(const WideChar* path, FileAccess access, FileDisposition disposition) {
    Close();
    bool reading = access == FileAccess::Read;
    HANDLE opened = CreateFileW(reinterpret_cast<const wchar_t*>(path),
                                reading ? GENERIC_READ : GENERIC_WRITE,
                                reading ? FILE_SHARE_READ : 0, nullptr,
                                disposition == FileDisposition::CreateAlways ? CREATE_ALWAYS : OPEN_EXISTING,
                                reading ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(opened);
    size = Size();
    return true;
}

bool FileHandle::Close() {
    if (!IsOpen()) return true;
    const bool closed = CloseHandle(AsHandle(handle_)) != 0;
    handle_ = ClosedHandle;
    size = 0;
    return closed;
}

uint64_t FileHandle::Size() {
    LARGE_INTEGER bytes;
    if (!IsOpen() || !GetFileSizeEx(AsHandle(handle_), &bytes)) return 0;
    return static_cast<uint64_t>(bytes.QuadPart);
}

bool FileHandle::Seek(int64_t distance, SeekOrigin origin) {
    if (!IsOpen()) return false;
    LARGE_INTEGER move;
    move.QuadPart = distance;
    DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN : FILE_CURRENT;
    return SetFilePointerEx(AsHandle(handle_), move, nullptr, method) != 0;
}

uint64_t FileHandle::Tell() {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!IsOpen() || !SetFilePointerEx(AsHandle(handle_), zero, &at, FILE_CURRENT)) return 0;
    return static_cast<uint64_t>(at.QuadPart);
}

int32_t FileHandle::ReadByte(uint8_t& byte) {
    return static_cast<int32_t>(Read(1, &byte));
}

int64_t FileHandle::Read(uint32_t count, void* buffer) {
    DWORD got = 0;
    if (!IsOpen() || !ReadFile(AsHandle(handle_), buffer, count, &got, nullptr)) return -1;
    return got;
}

bool FileHandle::Write(const void* buffer, uint32_t count) {
    DWORD put = 0;
    if (!IsOpen() || !WriteFile(AsHandle(handle_), buffer, count, &put, nullptr)) return false;
    if (put == count) return true;
    SetLastError(ERROR_DISK_FULL);
    return false;
}

// Unix seconds as a FILETIME: 100-nanosecond steps since 1601.
bool FileHandle::SetTimes(int64_t unixSeconds) {
    uint64_t ticks = static_cast<uint64_t>(unixSeconds) * 10000000u + 116444736000000000u;
    FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return SetFileTime(AsHandle(handle_), nullptr, &time, &time) != 0;
}

bool FileHandle::SetMode(uint32_t) { return true; }
