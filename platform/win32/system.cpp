// The core's system services on Windows.
#include "platform/system.h"

#include <windows.h>
#include <shlobj.h>
#include <time.h>

static const wchar_t* Native(const WideChar* text) { return reinterpret_cast<const wchar_t*>(text); }
static wchar_t* Native(WideChar* text) { return reinterpret_cast<wchar_t*>(text); }

CreateFolderResult CreateDestinationFolder(const WideChar* path) {
    if (CreateDirectoryW(Native(path), nullptr)) return CreateFolderResult::Created;
    return GetLastError() == ERROR_ALREADY_EXISTS ? CreateFolderResult::AlreadyExists
                                                  : CreateFolderResult::Failed;
}

WideString CurrentDirectoryPath() {
    WideChar buffer[MAX_PATH];
    DWORD length = GetCurrentDirectoryW(MAX_PATH, Native(buffer));
    if (length == 0 || length >= MAX_PATH) buffer[0] = 0;
    return WideString(buffer);
}

bool SetCurrentFolder(const WideChar* path) { return SetCurrentDirectoryW(Native(path)) != 0; }

uint32_t LastErrorCode() { return GetLastError(); }
void SetLastErrorCode(uint32_t code) { SetLastError(code); }

WideString SystemErrorText(uint32_t code) {
    // System texts may hold %1 inserts; without IGNORE_INSERTS FormatMessageW would read
    // arguments that were never passed.
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    WideString out(reinterpret_cast<const WideChar*>(text));
    if (text) LocalFree(text);
    return out;
}

uint32_t OutOfMemoryErrorCode() { return ERROR_NOT_ENOUGH_MEMORY; }

void AssignFromMultiByte(WideString& out, const char* text) {
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0) {
        out.Assign(u"");
        return;
    }
    out.Resize(static_cast<uint32_t>(units));
    MultiByteToWideChar(CP_ACP, 0, text, -1, Native(out.Data()), units);
}

bool IsMultiByteLeadByte(uint8_t byte) { return (byte >= 0x80 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

int32_t TimeZoneOffset() {
    _tzset();
    return static_cast<int32_t>(_timezone);
}

void ExpandEnvironmentVariables(WideString& text) {
    WideChar buffer[MAX_PATH];
    DWORD units = ExpandEnvironmentStringsW(Native(text.Text()), Native(buffer), MAX_PATH);
    if (units > 0 && units <= MAX_PATH) text.Assign(buffer);
}

WideString SpecialFolderPath(int csidl) {
    WideChar buffer[MAX_PATH];
    buffer[0] = 0;
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(SHGetFolderLocation(nullptr, csidl, nullptr, 0, &items)) && items) {
        if (!SHGetPathFromIDListW(items, Native(buffer))) buffer[0] = 0;
        ILFree(items);
    }
    return WideString(buffer);
}

bool ShellTakesNotices() { return true; }

void NotifyShellOfCreate(const WideChar* path) {
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, path, nullptr);
}
