// The destination dialog and the preparation of the destination folder.
#include <windows.h>
#include <shlobj.h>

#include "app/stub.h"
#include "archive/lzh_header.h"
#include "archive/paths.h"
#include "package/ui_texts.h"
#include "platform/system.h"
#include "resources/resource.h"

static Extractor* dialogExtractor = nullptr;
// The destination text on its way between the edit box, the folder browser and the Extractor.
static wchar_t destinationText[MAX_PATH];

// The shortcut boxes' options; the boxes' ids follow one another in the same order, so
// only the options need a table.
static uint8_t SfxConfig::* const ShortcutOptions[] = {
    &SfxConfig::startMenuOption, &SfxConfig::desktopOption, &SfxConfig::sendToOption};
static_assert(IDC_DESKTOP == IDC_STARTMENU + 1 && IDC_SENDTO == IDC_STARTMENU + 2);

// The template carries no texts but "OK": each comes from the table in the user's language.
struct ControlText {
    uint16_t id;
    UiText text;
};
static const ControlText ControlTexts[] = {
    {IDC_DESTINATION_LABEL, UiText::DestinationLabel}, {IDC_BROWSE, UiText::Browse},
    {IDC_STARTMENU, UiText::StartMenu}, {IDC_DESKTOP, UiText::Desktop},
    {IDC_SENDTO, UiText::SendTo}, {IDCANCEL, UiText::Cancel},
};

static bool CannotCreateFolder(Extractor& extractor) {
    ShowMessage(extractor.mainWindow, Text(UiText::CannotCreateFolder), nullptr, MessageIcon::Exclamation);
    return false;
}

bool PrepareDestination(Extractor& extractor, const WideString& path) {
    if (SetCurrentFolder(path.Text())) return true;
    WideString folders(path);
    if (!folders.IsEmpty()) folders.EnsureEndsWith(u'\\');
    ReplaceSeparators(folders, u'/');
    // CreateFolderTree also accepts a file of that name; only the folder will do here.
    if (!CreateFolderTree(folders, CreateDestinationFolder) || !SetCurrentFolder(path.Text()))
        return CannotCreateFolder(extractor);
    return true;
}

static void OnInitDialog(HWND dialog, Extractor& extractor) {
    dialogExtractor = &extractor;
    SetWindowTextW(dialog, Native(extractor.config.caption.Text()));
    for (const ControlText& control : ControlTexts) SetDlgItemTextW(dialog, control.id, Native(Text(control.text)));
    lstrcpynW(destinationText, Native(extractor.config.defaultDestination.Text()), MAX_PATH);
    SetDlgItemTextW(dialog, IDC_DESTINATION, destinationText);
    for (int box = 0; box < 3; ++box) {
        uint8_t option = extractor.config.*ShortcutOptions[box];
        if (option & OptionChecked) CheckDlgButton(dialog, IDC_STARTMENU + box, BST_CHECKED);
        if (!(option & OptionEditable)) EnableWindow(GetDlgItem(dialog, IDC_STARTMENU + box), FALSE);
    }
}

// The dialog's result: 0 when the destination is ready and the choices are stored.
static INT_PTR OnOk(HWND dialog, Extractor& extractor) {
    destinationText[0] = 0;
    GetDlgItemTextW(dialog, IDC_DESTINATION, destinationText, MAX_PATH);
    extractor.destination.Assign(reinterpret_cast<const WideChar*>(destinationText));
    if (!PrepareDestination(extractor, extractor.destination)) return 1;
    // A destination relative to the current directory ("rel", "C:rel", or "C:" alone, the
    // current folder of that drive) names a different folder once it is the current
    // directory, and the shortcuts and the launch need a full path: keep the full path the
    // first preparation arrived at.
    WideString here = CurrentDirectoryPath();
    if (!here.IsEmpty()) extractor.destination.Assign(here);
    for (int box = 0; box < 3; ++box) {
        uint8_t& option = extractor.config.*ShortcutOptions[box];
        option = IsDlgButtonChecked(dialog, IDC_STARTMENU + box) == BST_CHECKED ? option | OptionChecked
                                                                               : option & ~OptionChecked;
    }
    return 0;
}

static void OnBrowse(HWND dialog) {
    wchar_t displayName[MAX_PATH];
    BROWSEINFOW browse = {};
    browse.hwndOwner = dialog;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = Native(Text(UiText::BrowseTitle));
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE picked = SHBrowseForFolderW(&browse);
    if (!picked) return;
    if (SHGetPathFromIDListW(picked, destinationText)) SetDlgItemTextW(dialog, IDC_DESTINATION, destinationText);
    ILFree(picked);
}

INT_PTR CALLBACK DestinationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        OnInitDialog(dialog, *reinterpret_cast<Extractor*>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (wParam == IDC_BROWSE)
        OnBrowse(dialog);
    else if (wParam == IDOK || wParam == IDCANCEL)  // one call of EndDialog for both
        EndDialog(dialog, wParam == IDOK ? OnOk(dialog, *dialogExtractor) : 1);
    return TRUE;
}
