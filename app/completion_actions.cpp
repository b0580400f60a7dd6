// What a finished run leaves besides the files: shortcuts to the extracted program in
// the shell's special folders, and the start of the program the package names.
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include "app/path_buffer.h"
#include "app/stub.h"
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

// Appends the path of the special folder `csidl`; false when the shell gives none.
static bool AppendSpecialFolder(PathBuffer& out, int csidl) {
    WideString folder = SpecialFolderPath(csidl);
    out.Append(folder);
    return !folder.IsEmpty();
}

// The link file and the path it points to; false when either does not fit or the
// special folder is unknown (the link would land in the root of the current drive).
static bool BuildShortcutPaths(Extractor& extractor, int csidl, PathBuffer& linkFile, PathBuffer& target) {
    if (!AppendSpecialFolder(linkFile, csidl) &&
        !(csidl == CsidlCommonPrograms && AppendSpecialFolder(linkFile, CsidlPrograms)))
        return false;
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
    return linkFile.Fits() && target.Fits();
}

static void SaveShellLink(const PathBuffer& linkFile, const PathBuffer& target, const WideString& workingFolder) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(ShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, ShellLinkInterface,
                                reinterpret_cast<void**>(&link))))
        return;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(PersistFileInterface, reinterpret_cast<void**>(&file)))) {
        link->SetPath(Native(target.text));
        link->SetIconLocation(Native(target.text), 0);
        link->SetWorkingDirectory(Native(workingFolder.Text()));
        file->Save(Native(linkFile.text), TRUE);
        file->Release();
    }
    link->Release();
}

void CreateShortcut(Extractor& extractor, int csidl) {
    PathBuffer linkFile, target;
    if (!BuildShortcutPaths(extractor, csidl, linkFile, target)) return;
    if (FAILED(CoInitialize(nullptr))) return;
    SaveShellLink(linkFile, target, extractor.destination);
    CoUninitialize();
}

void CreateShortcuts(Extractor& extractor) {
    const SfxConfig& config = extractor.config;
    if (config.startMenuOption & OptionChecked) CreateShortcut(extractor, CsidlCommonPrograms);
    if (config.desktopOption & OptionChecked) CreateShortcut(extractor, CsidlCommonDesktop);
    if (config.sendToOption & OptionChecked) CreateShortcut(extractor, CsidlSendTo);
}

void LaunchProgram(Extractor& extractor) {
    PathBuffer program;
    program.Append(extractor.destination);
    program.AppendChar(u'\\');
    program.Append(extractor.config.launchProgram);
    if (!program.Fits()) return;
    ShellExecuteW(static_cast<HWND>(extractor.mainWindow), nullptr, Native(program.text), nullptr, nullptr,
                  SW_SHOWNORMAL);
}
