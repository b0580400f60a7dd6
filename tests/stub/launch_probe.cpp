// A tiny Windows program that a test package names as its launch program: it writes
// launched.txt into its current directory, holding its own path, that directory and
// whether the package's progress window was still shown when it started (UTF-16, one per
// line), and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t text[2 * MAX_PATH + 32] = {};
    DWORD length = GetModuleFileNameW(nullptr, text, MAX_PATH);
    text[length++] = L'\n';
    length += GetCurrentDirectoryW(MAX_PATH, text + length);
    text[length++] = L'\n';
    HWND progress = FindWindowW(L"KAVISFXCLASS", nullptr);
    for (const wchar_t* at = progress && IsWindowVisible(progress) ? L"progress window shown" : L"progress window gone"; *at;)
        text[length++] = *at++;
    text[length++] = L'\n';
    HANDLE file = CreateFileW(L"launched.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, text, length * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
    return 0;
}
