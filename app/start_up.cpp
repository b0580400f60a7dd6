// Start-up: the package and its configuration block, the window class, the hidden
// progress window with its controls.
#include <windows.h>
#include <commctrl.h>

#include "app/stub.h"
#include "archive/config_reader.h"
#include "decode/decode_state.h"
#include "package/ui_texts.h"
#include "platform/system.h"
#include "resources/resource.h"

HINSTANCE appInstance = nullptr;
const wchar_t ProgressWindowClass[] = L"KAVISFXCLASS";
static bool initialized = false;

static bool OpenPackage(Extractor& extractor) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (length != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        ShowLastError();
        return false;
    }
    extractor.packageFile = new FileHandle;
    if (!extractor.packageFile->Open(reinterpret_cast<const WideChar*>(path), FileAccess::Read,
                                     FileDisposition::OpenExisting) ||
        !extractor.packageFile->Seek(ConfigBlockOffset, SeekOrigin::Begin)) {
        ShowLastError();
        return false;
    }
    return true;
}

// Windows ends a title too long for its title bar with an ellipsis, but not every system
// does: a caption is cut here to what the progress window's title bar holds, a unit of a
// wide script (U+1100 on) counting as two, and ends in "…".
constexpr uint32_t CaptionWidth = 30;
static void FitCaption(WideChar* caption) {
    uint32_t width = 0;
    for (uint32_t i = 0; caption[i]; ++i) {
        width += caption[i] >= 0x1100 ? 2 : 1;
        if (width > CaptionWidth) {
            caption[i - 1] = u'\u2026';
            caption[i] = 0;
            return;
        }
    }
}

static bool RegisterProgressClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ProgressWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ProgressWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

bool InitializeApplication(Extractor& extractor, HINSTANCE instance) {
    appInstance = instance;
    extractor.exitCode = ExitPackageUnreadable;
    if (!OpenPackage(extractor)) return false;
    // A download cut short: the block, or the archive that must follow it, is missing.
    FileHandle& package = *extractor.packageFile;
    if (!ReadConfigBlock(package, extractor.config) || package.Tell() >= package.size) {
        ShowMessage(nullptr, Text(UiText::DamagedPackage), DefaultCaption, MessageIcon::Stop);
        extractor.exitCode = ExitPackageDamaged;
        return false;
    }
    extractor.exitCode = ExitNoWindow;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    if (!InitCommonControlsEx(&controls)) {
        ShowLastError();
        return false;
    }
    extractor.destination.Assign(extractor.config.defaultDestination);
    FitCaption(extractor.config.caption.Data());
    if (!RegisterProgressClass(instance)) return false;
    initialized = true;
    return true;
}

// The progress window's controls, made in this order. A table and one loop cost less code
// than three calls with ten arguments each.
struct ControlLayout {
    const wchar_t* className;
    uint16_t style;
    uint8_t x, y, width, height;
    uint16_t id;
    bool guiFont;
    WindowHandle Extractor::*handle;
};
static const ControlLayout ProgressControls[] = {
    {L"Static", SS_PATHELLIPSIS | SS_NOPREFIX, 7, 5, 200, 15, 0, true, &Extractor::statusText},
    {PROGRESS_CLASSW, PBS_SMOOTH, 7, 23, 200, 20, 0, false, &Extractor::progressBar},
    {L"Button", 0, 65, 50, 88, 19, IDC_ABORT, true, &Extractor::abortButton},
};

// Creates every control, each with its text; false when any of them could not be made.
static bool CreateControls(Extractor& extractor) {
    const wchar_t* texts[] = {L"", nullptr, Native(Text(UiText::Abort))};
    bool created = true;
    for (uint32_t i = 0; i < 3; ++i) {
        const ControlLayout& layout = ProgressControls[i];
        HWND control = CreateWindowExW(0, layout.className, texts[i], WS_CHILD | WS_VISIBLE | layout.style,
                                       layout.x, layout.y, layout.width, layout.height,
                                       static_cast<HWND>(extractor.mainWindow),
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)), appInstance, nullptr);
        extractor.*layout.handle = control;
        if (!control) created = false;
        else if (layout.guiFont)
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    return created;
}

bool ConstructExtractor(Extractor& extractor, HINSTANCE instance) {
    keepRunning.store(1);  // no static initialiser runs in the stub
    if (!initialized && !InitializeApplication(extractor, instance)) return false;
    POINT cursor = {};
    GetCursorPos(&cursor);
    HWND window = CreateWindowExW(0, ProgressWindowClass, Native(DefaultCaption),
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU, cursor.x - 110, cursor.y + 32, 220, 100,
                                  nullptr, nullptr, instance, &extractor);
    if (!window) return false;
    extractor.mainWindow = window;
    if (!CreateControls(extractor)) return false;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    return PostMessageW(window, WM_SFX_START, 0, 0) != 0;
}
