// kavisfx pack (being written).
#include <cstdio>

#include "tools/commands.h"

int RunPack(int, char**) {
    std::fputs("kavisfx pack: not available in this build yet\n", stderr);
    return 2;
}
