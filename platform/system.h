// What the core asks of the operating system. Each system implements these in
// platform/<os>/; archive/, decode/ and package/ call nothing else of the system.
// Paths are UTF-16 WideChar texts; outside Windows they become UTF-8 at this boundary.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

// Entries below the current folder, which is the destination while the worker runs,
// named by relative paths. None of these follows a link below the current folder: a
// folder on the way that is a link (on Windows any reparse point: symbolic link,
// junction, mount point) fails the operation with LinkErrorCode(), and a last component
// that is a link is never written or looked through (POSIX deletes the link itself,
// Windows refuses it). FileHandle::CreateTemporary and OpenFolder reach entries the same way.
enum class CreateFolderResult { Created, AlreadyExists, Failed };
// Creates the folders of `path` that are missing, top-down in one walk.
CreateFolderResult CreateFolder(const WideChar* path);
bool DeletePath(const WideChar* path);             // a file; true when it is gone
bool IsExistingFolder(const WideChar* path);      // false, with LinkErrorCode(), for a link
bool PathExists(const WideChar* path);             // anything, a link included
// The modification time of the entry at `path` (a link itself); false when there is none.
bool ExistingEntryTime(const WideChar* path, int64_t& unixSeconds);
// Permission bits (POSIX; elsewhere nothing happens). Never set-uid, set-gid or sticky.
constexpr uint32_t FilePermissionBits = 0777;
uint32_t LinkErrorCode();
// Makes names that the system takes for one entry equal: where names ignore letter case
// (Windows), the letters are upper-cased; elsewhere nothing changes.
void FoldNameCase(WideChar* text, uint32_t length);
// Deletes the temporary of the output file being written, if there is one; safe in a
// signal handler, for a process that must end at once (POSIX; elsewhere nothing happens).
void DiscardTemporaryInHand();
// For one run of the worker (the current folder stays the same meanwhile), folders reached
// may stay open from one call to the next; false closes them.
void HoldReachedFolders(bool on);

// The destination itself is the user's choice: links on its way are followed.
CreateFolderResult CreateDestinationFolder(const WideChar* path);
WideString CurrentDirectoryPath();                 // empty text on failure or when too long
bool SetCurrentFolder(const WideChar* path);

// Error code of the last failed system call of this thread, and its text.
uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);
WideString SystemErrorText(uint32_t code);
uint32_t OutOfMemoryErrorCode();                   // the system's code for "not enough memory"

// Multibyte archive names: converted from the system's code page (Windows: CP_ACP;
// elsewhere CP932 unless SetMultiByteCodePage chose another).
void AssignFromMultiByte(WideString& out, const char* text);
// True when the byte begins a double-byte character of that code page, so that the byte
// after it is never a folder separator (Windows: the Shift_JIS lead bytes, whatever the
// system's code page).
bool IsMultiByteLeadByte(uint8_t byte);

// UTC minus local standard time, in seconds (positive west of Greenwich).
int32_t TimeZoneOffset();

// Replaces each %NAME% of the text with that environment variable of the machine the
// package runs on (Windows); elsewhere, and where the result would not fit 260 units, the
// text stays as it is.
void ExpandEnvironmentVariables(WideString& text);

// Shell folders by CSIDL value; empty text when unknown.
WideString SpecialFolderPath(int csidl);
constexpr int CsidlPrograms = 2;
constexpr int CsidlSendTo = 9;
constexpr int CsidlDesktop = 0x10;
constexpr int CsidlCommonPrograms = 23;
constexpr int CsidlCommonDesktop = 25;
constexpr int CsidlProgramFiles = 0x26;

// Tells the shell that a file appeared (backslash-separated path), where there is a shell
// to tell (ShellTakesNotices).
bool ShellTakesNotices();
void NotifyShellOfCreate(const WideChar* path);

// POSIX only, for the host tool: runs routine(argument) on a thread of its own; false when
// none could be made. JoinThread waits for it to end.
bool StartThread(uintptr_t& thread, void* (*routine)(void*), void* argument);
void JoinThread(uintptr_t thread);
