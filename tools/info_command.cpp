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
    "Shows the configuration block of a package: caption, default destination (as the\n"
    "stub resolves it on the user's machine: one relative to Program Files as\n"
    "<Program Files>\\Folder, one relative to the folder the package is started from as\n"
    "<current folder>\\Folder, one that begins with an environment variable as stored),\n"
    "shortcut target, shortcut name, launch program, and each shortcut option byte with\n"
    "its editable and checked bits. Warns about a shortcut target or launch program\n"
    "outside the destination, and a shortcut name with a folder in it: the stub leaves\n"
    "those out.\n"
    "\n"
    "Exit status: 0 shown, 1 block cut short, 2 bad usage, unreadable file or no package.\n";

WideString JoinedToUnknownBase(uint8_t base, const WideString& stored) {
    if (stored.IsEmpty()) return WideString(u"<current folder>");  // the base byte counts only for a text
    WideString shown(base ? u"<Program Files>\\" : u"<current folder>\\");
    shown.Append(stored);
    return shown;
}

void PrintText(const char* label, const WideString& text) {
    std::printf("%-20s %s\n", label, DisplayText(text.Text()).c_str());
}

void PrintOption(const char* label, uint8_t option) {
    std::printf("%-20s %u (editable: %s, checked: %s)\n", label, option, option & OptionEditable ? "yes" : "no",
                option & OptionChecked ? "yes" : "no");
}

// The stub joins a destination without drive to a folder of the machine it runs on,
// which this one has not: the Program Files folder, or the folder the package is
// started from. Such a destination is shown as "<Program Files>\Kavi\Tool" or
// "<current folder>\Tool", an empty one as "<current folder>"; one that begins with an
// environment variable is expanded on that machine and shown as stored. The block is parsed
// again for its text as stored.
WideString ShownDestination(FileHandle& file, const SfxConfig& config) {
    const uint64_t archiveAt = file.Tell();
    uint8_t bytes[ConfigBlockMaxSize];
    int64_t got = file.Seek(ConfigBlockOffset, SeekOrigin::Begin) ? file.Read(sizeof bytes, bytes) : -1;
    file.Seek(static_cast<int64_t>(archiveAt), SeekOrigin::Begin);
    SfxConfig block;
    const WideString& stored = block.defaultDestination;
    if (got <= 0 || !ParseConfigBlock(bytes, static_cast<uint32_t>(got), block) ||
        (stored.Length() >= 2 && stored.Text()[1] == u':') || (!stored.IsEmpty() && stored.Text()[0] == u'%'))
        return config.defaultDestination;
    return JoinedToUnknownBase(block.destinationBase, stored);
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
                                             : JoinedToUnknownBase(0, WideString(u"")));
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
