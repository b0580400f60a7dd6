// kavisfx: lists, tests and extracts LHA archives and packages, and builds packages.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "package/ui_texts.h"
#include "tools/commands.h"
#include "tools/suggestion.h"
#include "tools/terminal_text.h"

namespace {

const char Usage[] =
    "usage: kavisfx COMMAND [options] FILE...\n"
    "\n"
    "commands:\n"
    "  list FILE [MEMBER...]     list the members of an archive or package\n"
    "  info FILE                 show a package's configuration block\n"
    "  test FILE [MEMBER...]     decode the members and check their CRC-16s\n"
    "  extract FILE [MEMBER...]  extract an archive or package (-C DIR, or --stdout)\n"
    "  pack OUT.exe PATH...      build a package from files and folders\n"
    "\n"
    "Run 'kavisfx COMMAND --help' for a command's options, 'kavisfx --version' for the\n"
    "version. Messages are English; the stub's own texts are shown in Japanese where\n"
    "LC_ALL, LC_MESSAGES or LANG asks for Japanese.\n";

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command Commands[] = {
    {"list", RunList}, {"info", RunInfo}, {"test", RunTest}, {"extract", RunExtract}, {"pack", RunPack},
};

// The stub's texts are Japanese; here they follow the user's locale like the tool's own
// English messages: the first of LC_ALL, LC_MESSAGES and LANG that is set decides.
bool LocaleAsksForJapanese() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return std::strncmp(value, "ja", 2) == 0;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // Names are written as UTF-8 whatever the locale; the progress line measures them by
    // the C library's character widths, which need a UTF-8 character type.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    UseJapaneseTexts(LocaleAsksForJapanese());
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::puts("kavisfx " KAVISFX_VERSION);
        return 0;
    }
    for (const Command& command : Commands)
        if (!std::strcmp(argv[1], command.name)) return command.run(argc - 2, argv + 2);
    std::vector<std::string> names;
    for (const Command& command : Commands) names.push_back(command.name);
    std::fprintf(stderr, "kavisfx: unknown command '%s'%s\n\n%s", TerminalText(argv[1]).c_str(),
                 DidYouMean(argv[1], names).c_str(), Usage);
    return 2;
}
