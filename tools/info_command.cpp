// kavisfx info (being written).
#include <cstdio>

#include "tools/commands.h"

int RunInfo(int, char**) {
    std::fputs("kavisfx info: not available in this build yet\n", stderr);
    return 2;
}
