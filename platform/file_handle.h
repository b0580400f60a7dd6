// FileHandle: thin owner of one operating-system file handle. No buffering and no
// reporting of its own: every operation answers with a plain result.
// Implemented per system in platform/<os>/file_handle.cpp.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

enum class FileAccess { Read, Write };             // Read shares reading; Write shares nothing
enum class FileDisposition { OpenExisting, CreateAlways };
enum class SeekOrigin { Begin = 0, Current = 1 };

struct BytesInMemory;  // what a handle opened in memory holds (POSIX)
struct ReadAhead;      // the bytes read ahead of a reading handle's position (POSIX)

class FileHandle {
public:
    FileHandle() = default;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Discard(); }

    // A failed open leaves the handle closed; the caller checks IsOpen() and
    // reads the cause with LastErrorCode() (platform/system.h).
    bool Open(const WideChar* path, FileAccess access, FileDisposition disposition);

    // A member's file is written under a temporary name beside its target and takes the
    // target's name only once it is whole: a member that fails, is aborted or runs out of
    // room never changes the file it would replace, and no link planted at the target's
    // name is ever written through.
    //
    // CreateTemporary creates the folders of `path` that are missing below the current
    // folder, top-down in one walk that follows no link (as CreateFolder does), then opens
    // for writing a new file in the folder that is to hold `path`: created exclusively, under
    // a name that no entry there has (TemporaryNamePattern). The handle keeps that folder
    // open, so the file is put in place (or deleted) in the folder it was made in whatever
    // happens to the path meanwhile; destroying the handle discards the file.
    bool CreateTemporary(const WideChar* path);
    // Closes the file (the caller checks Close first when it matters) and renames it, in
    // its folder, to the last component of `path`, the path given to CreateTemporary: over
    // what stands there when `replace`, else only when nothing does. False, with the
    // temporary deleted, when the rename fails.
    bool PutInPlace(const WideChar* path, bool replace);
    // Closes the file and deletes the temporary; only closes a handle that has none.
    void Discard();
    // The temporary's path below the current folder (the folders of `path`, then its
    // name), empty when there is none: what an abort deletes by name from another thread.
    const WideString& TemporaryPath() const { return temporary_; }

    // Opens the folder at `path` below the current folder, following no link, for SetTimes
    // and SetMode (the folder itself is changed, never what a path leads to); false when no
    // folder stands there.
    bool OpenFolder(const WideChar* path);
    // Whether the entry at `path` below the current folder (a link itself, not its target)
    // is the file this handle has open; then the last error is the system's code for a
    // file in use. Where the system refuses to replace an open file by itself (Windows, for
    // the running package) it may answer false.
    bool IsAt(const WideChar* path);
    // POSIX only, for the host tool: writes to a copy of an open descriptor (standard output).
    bool OpenDescriptor(int descriptor);
    // POSIX only, for the host tool: the regular file `other` has open, for reading, with a
    // position of its own.
    bool OpenAgain(FileHandle& other);
    // POSIX only, for the host tool: a handle whose writes are kept in memory, for TakeWritten,
    // in room for `expected` bytes taken at the first write; or first in `room` (from new[],
    // `roomSize` bytes, the handle's from now on), memory that held an earlier member.
    bool OpenInMemory(uint64_t expected = 0, uint8_t* room = nullptr, uint64_t roomSize = 0);
    // The bytes written since OpenInMemory (from new[], the caller's now; null when none, or
    // the room when it was given) and their count, with the size of the memory they lie in;
    // the handle starts again empty.
    uint8_t* TakeWritten(uint64_t& count, uint64_t* memorySize = nullptr);
    // For a handle in memory that holds nothing yet (null otherwise, or without the memory):
    // room for `count` bytes that the caller fills itself, as a decoder that keeps its
    // output in one piece does; KeepRoom(n) then makes the room's first n bytes what the
    // handle holds, as if they had been written.
    uint8_t* RoomInMemory(uint64_t count);
    void KeepRoom(uint64_t count);
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
    // The folder holding the temporary between CreateTemporary and PutInPlace or Discard,
    // where the system names it by a handle of its own; the temporary's path.
    intptr_t folder_ = ClosedHandle;
    WideString temporary_;
    BytesInMemory* memory_ = nullptr;  // set by OpenInMemory
    // A regular file open for reading is read in large pieces at the handle's own position,
    // so that headers read a few bytes at a time cost no call to the system each (POSIX).
    ReadAhead* readAhead_ = nullptr;
};

// Temporary names: ".kavisfx-" and eight letters a to p, four bits of a serial each,
// written over the last eight of the pattern's copy.
constexpr WideChar TemporaryNamePattern[] = u".kavisfx-aaaaaaaa";
constexpr uint32_t TemporaryNameUnits = 17;
inline void WriteTemporarySerial(WideChar* name, uint32_t serial) {
    for (uint32_t i = TemporaryNameUnits - 8; i < TemporaryNameUnits; ++i, serial >>= 4)
        name[i] = static_cast<WideChar>(u'a' + (serial & 15));
}
