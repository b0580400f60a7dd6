// FileHandle: thin owner of one operating-system file handle. No buffering and no
// reporting of its own: every operation answers with a plain result.
// Implemented per system in platform/<os>/file_handle.cpp.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

enum class FileAccess { Read, Write };             // Read shares reading; Write shares nothing
enum class FileDisposition { OpenExisting, CreateAlways };
enum class SeekOrigin { Begin = 0, Current = 1 };

class FileHandle {
public:
    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }

    // A failed open leaves the handle closed; the caller checks IsOpen() and
    // reads the cause with LastErrorCode() (platform/system.h).
    bool Open(const WideChar* path, FileAccess access, FileDisposition disposition);
    // Creates or empties a file below the current folder for writing, following no link
    // (see the entries of platform/system.h).
    bool Create(const WideChar* path);
    // POSIX only, for the host tool: writes to a copy of an open descriptor (standard output).
    bool OpenDescriptor(int descriptor);
    bool IsOpen() const { return handle_ != ClosedHandle; }
    bool Close();  // false when the system reports a failure, such as a write it could not finish

    uint64_t Size();                                // 0 when not open
    bool Seek(int64_t distance, SeekOrigin origin);
    uint64_t Tell();
    int32_t ReadByte(uint8_t& byte);                // 1 read, 0 end of file, -1 failure
    int64_t Read(uint32_t count, void* buffer);     // bytes read (short at end), -1 failure
    bool Write(const void* buffer, uint32_t count); // whole buffer or false
    bool SetTimes(int64_t unixSeconds);             // access and modification time
    bool SetMode(uint32_t mode);                    // permission bits (POSIX; elsewhere nothing)

    uint64_t size = 0;  // taken once when the file is opened

private:
    static constexpr intptr_t ClosedHandle = -1;
    static constexpr uint64_t UnknownPosition = UINT64_MAX;
    intptr_t handle_ = ClosedHandle;
    // Where reads and writes go on, kept by implementations that count it (POSIX), so
    // that Tell costs no call to the system.
    uint64_t position_ = UnknownPosition;
};
