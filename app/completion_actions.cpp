// What a finished run leaves besides the files: shortcuts to the extracted program in
// the shell's special folders, and the start of the program the package names. Nothing of
// it fails quietly: what is not done is named, and the exit code says so.
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include "app/path_buffer.h"
#include "app/stub.h"
#include "archive/block_paths.h"
#include "package/ui_texts.h"
#include "platform/system.h"

// Defined here rather than taken from libuuid, which would bring every shell GUID along.
static const CLSID ShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID ShellLinkInterface = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID PersistFileInterface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The file name of `path` without folders and extension, as the C runtime splits paths.
static void AppendBaseName(PathBuffer& out, const WideChar* path) {
    const WideChar* name = path;
    for (const WideChar* at = path; *at; ++at)
        if (*at == u'\\' || *at == u'/' || (at == path + 1 && *at == u':')) name = at + 1;
    const WideChar* end = name + WideLength(name);
    for (const WideChar* at = end; at > name;)
        if (*--at == u'.') {
            end = at;
            break;
        }
    for (; name < end; ++name) out.AppendChar(*name);
}

// What could not be done, one line each: told in one message once every action was tried.
static void NoteUnfinished(WideString& unfinished, const WideChar* what, UiText why) {
    unfinished.Append(what);
    unfinished.AppendChar(u' ');
    unfinished.Append(Text(why));
    unfinished.AppendChar(u'\n');
}

// True when the block's `path` (a file name when `name`) stays where it belongs; else it is
// named, and what needs it is not done.
static bool Usable(WideString& unfinished, const WideString& path, bool name) {
    if (name ? IsPlainFileName(path) : StaysInDestination(path)) return true;
    NoteUnfinished(unfinished, path.Text(), UiText::OutsideDestination);
    return false;
}

// The link file in the special folder `csidl` and the path it points to; false when either
// does not fit or the special folder is unknown (the link would land in the root of the
// current drive).
static bool BuildShortcutPaths(Extractor& extractor, int csidl, PathBuffer& linkFile, PathBuffer& target) {
    WideString folder = SpecialFolderPath(csidl);
    linkFile.Append(folder);
    const SfxConfig& config = extractor.config;
    linkFile.AppendChar(u'\\');
    if (!config.shortcutName.IsEmpty())
        linkFile.Append(config.shortcutName);
    else
        AppendBaseName(linkFile, config.shortcutTarget.Text());
    linkFile.Append(u".lnk");
    target.Append(extractor.destination);
    target.AppendBackslash();
    target.Append(config.shortcutTarget);
    return !folder.IsEmpty() && linkFile.Fits() && target.Fits();
}

static bool SaveShellLink(const PathBuffer& linkFile, const PathBuffer& target, const WideString& workingFolder) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(ShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, ShellLinkInterface,
                                reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* file = nullptr;
    bool saved = false;
    if (SUCCEEDED(link->QueryInterface(PersistFileInterface, reinterpret_cast<void**>(&file)))) {
        link->SetPath(Native(target.text));
        link->SetIconLocation(Native(target.text), 0);
        link->SetWorkingDirectory(Native(workingFolder.Text()));
        saved = SUCCEEDED(file->Save(Native(linkFile.text), TRUE));
        file->Release();
    }
    link->Release();
    return saved;
}

// Makes one shortcut in the special folder `csidl`; false when it is not there afterwards,
// and then, for the last folder tried, the link file is named in `unfinished`.
static bool CreateShortcut(Extractor& extractor, int csidl, WideString* unfinished) {
    PathBuffer linkFile, target;
    bool saved = false;
    if (BuildShortcutPaths(extractor, csidl, linkFile, target) && SUCCEEDED(CoInitialize(nullptr))) {
        saved = SaveShellLink(linkFile, target, extractor.destination);
        CoUninitialize();
    }
    if (!saved && unfinished) NoteUnfinished(*unfinished, linkFile.text, UiText::NotMade);
    return saved;
}

// Each checked shortcut goes to the folder for every user, or to the user's own where that
// cannot be written (a standard user) and always for a package that installs for this user
// only. Send To is the user's own folder either way.
static const uint8_t ShortcutFolders[3][2] = {
    {CsidlCommonPrograms, CsidlPrograms}, {CsidlCommonDesktop, CsidlDesktop}, {CsidlSendTo, CsidlSendTo}};

static void CreateShortcuts(Extractor& extractor, WideString& unfinished) {
    const SfxConfig& config = extractor.config;
    const uint8_t options[3] = {config.startMenuOption, config.desktopOption, config.sendToOption};
    if (!((options[0] | options[1] | options[2]) & OptionChecked)) return;
    if (!Usable(unfinished, config.shortcutTarget, false) || !Usable(unfinished, config.shortcutName, true)) return;
    for (int i = 0; i < 3; ++i)
        if ((options[i] & OptionChecked) && (config.perUser || !CreateShortcut(extractor, ShortcutFolders[i][0], nullptr)))
            CreateShortcut(extractor, ShortcutFolders[i][1], &unfinished);
}

static void LaunchProgram(Extractor& extractor, WideString& unfinished) {
    const WideString& launch = extractor.config.launchProgram;
    if (!Usable(unfinished, launch, false)) return;
    PathBuffer program;
    program.Append(extractor.destination);
    program.AppendChar(u'\\');
    program.Append(launch);
    if (!program.Fits() || reinterpret_cast<INT_PTR>(ShellExecuteW(static_cast<HWND>(extractor.mainWindow), nullptr,
                                                                     Native(program.text), nullptr, nullptr, SW_SHOWNORMAL)) <= 32)
        NoteUnfinished(unfinished, program.text, UiText::NotMade);
}

int RunCompletionActions(Extractor& extractor) {
    WideString unfinished;
    if (extractor.config.present) CreateShortcuts(extractor, unfinished);
    if (!extractor.config.launchProgram.IsEmpty()) LaunchProgram(extractor, unfinished);
    if (unfinished.IsEmpty()) return ExitDone;
    ShowMessage(extractor.mainWindow, unfinished.Text(), nullptr, MessageIcon::Exclamation);
    return ExitActionsNotDone;
}
