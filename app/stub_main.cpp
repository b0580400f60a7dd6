// Entry point of the stub: confine DLL loading, build the Extractor, run the loop.
#include "app/stub.h"
#include "package/ui_texts.h"

// A package is usually started from a download folder, where a planted DLL must never be
// picked up. SetDefaultDllDirectories is looked up at run time because systems without
// the update that brought it would otherwise refuse to start the program at all.
static void LimitDllSearchToSystem() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel) return;
    auto set = reinterpret_cast<SetDirectories>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int RunMessageLoop() {
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    LimitDllSearchToSystem();
    UseJapaneseTexts(PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE);
    // The Extractor lives until the process ends, which reclaims it: no destructor code.
    // The "()" zero-fills it in one go before the few nonzero initialisers, which takes
    // less code than a store for each member.
    Extractor& extractor = *new Extractor();
    if (!ConstructExtractor(extractor, instance)) return extractor.exitCode;
    return RunMessageLoop();
}

// The process entry (the linker's -e): the stub brings no start-up code of the compiler's
// runtime, which would cost more than the whole user interface. The stub takes no
// arguments, so its command line is not passed on. msvcrt.dll initialises
// itself when it is loaded; the stub has no static constructors to run. Visible to the
// linker although the stub is optimised as a whole program, where nothing calls it.
extern "C" __attribute__((externally_visible)) void StubEntry() {
    ExitProcess(static_cast<UINT>(wWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWDEFAULT)));
}
