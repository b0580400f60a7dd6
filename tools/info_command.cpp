// kavisfx info: a package's configuration block.
#include <cstdio>

#include "platform/file_handle.h"
#include "archive/block_paths.h"
#include "package/config_block.h"
#include "tools/commands.h"
#include "tools/tool_support.h"

namespace {

const char Help[] =
    "usage: kavisfx info FILE\n"
    "\n"
    "Shows the configuration block of a package: caption, default destination (resolved\n"
    "as the stub resolves it, here against this machine's current folder; one relative\n"
    "to Program Files as <Program Files>\\Folder), shortcut target, shortcut name,\n"
    "launch program, and each shortcut option byte with its editable and checked bits.\n"
    "Warns about a shortcut target or launch program outside the destination, and a\n"
    "shortcut name with a folder in it: the stub leaves those out.\n"
    "\n"
    "Exit status: 0 shown, 1 block cut short, 2 bad usage, unreadable file or no package.\n";

void PrintText(const char* label, const WideString& text) {
    std::printf("%-20s %s\n", label, DisplayText(text.Text()).c_str());
}

void PrintOption(const char* label, uint8_t option) {
    std::printf("%-20s %u (editable: %s, checked: %s)\n", label, option, option & OptionEditable ? "yes" : "no",
                option & OptionChecked ? "yes" : "no");
}

// The stub joins a destination without drive to the Program Files folder of the machine
// it runs on, which this one has not; such a destination is shown as
// "<Program Files>\Kavi\Tool". The block is parsed again for its text as stored.
WideString ShownDestination(FileHandle& file, const SfxConfig& config) {
    const uint64_t archiveAt = file.Tell();
    uint8_t bytes[ConfigBlockMaxSize];
    int64_t got = file.Seek(ConfigBlockOffset, SeekOrigin::Begin) ? file.Read(sizeof bytes, bytes) : -1;
    file.Seek(static_cast<int64_t>(archiveAt), SeekOrigin::Begin);
    SfxConfig block;
    const WideString& stored = block.defaultDestination;
    if (got <= 0 || !ParseConfigBlock(bytes, static_cast<uint32_t>(got), block) || block.destinationBase == 0 ||
        stored.IsEmpty() || (stored.Length() >= 2 && stored.Text()[1] == u':'))
        return config.defaultDestination;
    WideString shown(u"<Program Files>\\");
    shown.Append(stored);
    return shown;
}

// The paths that the stub refuses, each named on standard error.
void WarnAboutEscapingPaths(const SfxConfig& config) {
    const struct {
        const char* what;
        const WideString& path;
        bool refused;
    } checks[] = {
        {"shortcut target", config.shortcutTarget, !StaysInDestination(config.shortcutTarget)},
        {"launch program", config.launchProgram, !StaysInDestination(config.launchProgram)},
        {"shortcut name", config.shortcutName, !IsPlainFileName(config.shortcutName)},
    };
    for (const auto& check : checks)
        if (check.refused)
            std::fprintf(stderr, "kavisfx info: warning: the %s %s leaves its folder; the stub will not use it\n",
                         check.what, DisplayText(check.path.Text()).c_str());
}

}  // namespace

int RunInfo(int argc, char** argv) {
    ToolArguments args;
    if (!ParseToolArguments("info", argc, argv, 0, args)) return 2;
    if (args.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    ArchiveInput input;
    if (int status = OpenArchiveInput("info", args.file, input, true)) return status;
    const SfxConfig& config = input.extractor.config;
    std::printf("%-20s %s\n", "block:", config.present ? "present" : "empty (marker 0: no dialog, no shortcuts)");
    PrintText("caption:", config.caption);
    PrintText("destination:", config.present ? ShownDestination(*input.extractor.packageFile, config)
                                             : config.defaultDestination);
    if (config.present) {
        PrintText("shortcut target:", config.shortcutTarget);
        PrintText("shortcut name:", config.shortcutName);
        PrintText("launch program:", config.launchProgram);
        PrintOption("start menu:", config.startMenuOption);
        PrintOption("desktop:", config.desktopOption);
        PrintOption("send to:", config.sendToOption);
        WarnAboutEscapingPaths(config);
    }
    std::printf("%-20s %llu\n", "archive offset:",
                static_cast<unsigned long long>(input.extractor.packageFile->Tell()));
    return 0;
}
