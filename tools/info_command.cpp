// kavisfx info: a package's configuration block.
#include <cstdio>

#include "package/config_block.h"
#include "tools/commands.h"
#include "tools/tool_support.h"

namespace {

const char Help[] =
    "usage: kavisfx info FILE\n"
    "\n"
    "Shows the configuration block of a package: caption, default destination (resolved\n"
    "as the stub resolves it, here against this machine's current folder), shortcut\n"
    "target, shortcut name, launch program, and each shortcut option byte with its\n"
    "editable and checked bits.\n"
    "\n"
    "Exit status: 0 shown, 1 block cut short, 2 bad usage, unreadable file or no package.\n";

void PrintText(const char* label, const WideString& text) {
    std::printf("%-20s %s\n", label, DisplayText(text.Text()).c_str());
}

void PrintOption(const char* label, uint8_t option) {
    std::printf("%-20s %u (editable: %s, checked: %s)\n", label, option, option & OptionEditable ? "yes" : "no",
                option & OptionChecked ? "yes" : "no");
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
    PrintText("destination:", config.defaultDestination);
    if (config.present) {
        PrintText("shortcut target:", config.shortcutTarget);
        PrintText("shortcut name:", config.shortcutName);
        PrintText("launch program:", config.launchProgram);
        PrintOption("start menu:", config.startMenuOption);
        PrintOption("desktop:", config.desktopOption);
        PrintOption("send to:", config.sendToOption);
    }
    std::printf("%-20s %llu\n", "archive offset:",
                static_cast<unsigned long long>(input.extractor.packageFile->Tell()));
    return 0;
}
