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
// The destination text on its way between the edit box, the folder browser and the
// Extractor; one unit more than a path may have, to tell a longer text from one that fits.
static wchar_t destinationText[MAX_PATH + 1];

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

// "The folder cannot be created." over the folder and the system's reason (the last error).
static bool CannotCreateFolder(Extractor& extractor, const WideChar* path) {
    WideString reason = SystemErrorText(LastErrorCode());
    WideString text(path);
    text.Append(u"\n\n");
    text.Append(reason);
    ShowMessage(extractor.mainWindow, text.Text(), Text(UiText::CannotCreateFolder), MessageIcon::Exclamation);
    extractor.exitCode = ExitNoDestination;
    return false;
}

bool PrepareDestination(Extractor& extractor, const WideString& path) {
    if (SetCurrentFolder(path.Text())) return true;
    WideString folders(path);
    if (!folders.IsEmpty()) folders.EnsureEndsWith(u'\\');
    ReplaceSeparators(folders, u'/');
    // CreateFolderTree also accepts a file of that name; only the folder will do here.
    if (!CreateFolderTree(folders, CreateDestinationFolder) || !SetCurrentFolder(path.Text()))
        return CannotCreateFolder(extractor, path.Text());
    return true;
}

static void OnInitDialog(HWND dialog, Extractor& extractor) {
    dialogExtractor = &extractor;
    SetWindowTextW(dialog, Native(extractor.config.caption.Text()));
    for (const ControlText& control : ControlTexts) SetDlgItemTextW(dialog, control.id, Native(Text(control.text)));
    // Whole, however long: OK refuses a destination longer than a path may be.
    SetDlgItemTextW(dialog, IDC_DESTINATION, Native(extractor.config.defaultDestination.Text()));
    for (int box = 0; box < 3; ++box) {
        uint8_t option = extractor.config.*ShortcutOptions[box];
        if (option & OptionChecked) CheckDlgButton(dialog, IDC_STARTMENU + box, BST_CHECKED);
        if (!(option & OptionEditable)) EnableWindow(GetDlgItem(dialog, IDC_STARTMENU + box), FALSE);
    }
}

// The dialog's result: 0 when the destination is ready and the choices are stored.
static INT_PTR OnOk(HWND dialog, Extractor& extractor) {
    destinationText[0] = 0;
    if (GetDlgItemTextW(dialog, IDC_DESTINATION, destinationText, MAX_PATH + 1) >= MAX_PATH) {
        SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        CannotCreateFolder(extractor, reinterpret_cast<const WideChar*>(destinationText));
        return 1;
    }
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
    else if (wParam == IDOK || wParam == IDCANCEL) {  // one call of EndDialog for both
        dialogExtractor->exitCode = ExitCancelled;  // OK's failure sets its own
        EndDialog(dialog, wParam == IDOK ? OnOk(dialog, *dialogExtractor) : 1);
    }
    return TRUE;
}
