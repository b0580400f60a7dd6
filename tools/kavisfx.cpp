// kavisfx: lists, tests and extracts LHA archives and packages, and builds packages.
#include <cstdio>
#include <cstring>

#include "tools/commands.h"

namespace {

const char Usage[] =
    "usage: kavisfx COMMAND [options] FILE...\n"
    "\n"
    "commands:\n"
    "  list FILE       list the members of an archive or package\n"
    "  info FILE       show a package's configuration block\n"
    "  test FILE       decode every member and check its CRC-16\n"
    "  extract FILE    extract an archive or package (-C DIR)\n"
    "  pack OUT.exe    build a package from files and folders\n"
    "\n"
    "Run 'kavisfx COMMAND --help' for a command's options.\n";

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

const Command Commands[] = {
    {"list", RunList}, {"info", RunInfo}, {"test", RunTest}, {"extract", RunExtract}, {"pack", RunPack},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return 2;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    for (const Command& command : Commands)
        if (!std::strcmp(argv[1], command.name)) return command.run(argc - 2, argv + 2);
    std::fprintf(stderr, "kavisfx: unknown command '%s'\n\n%s", argv[1], Usage);
    return 2;
}
