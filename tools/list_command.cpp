// kavisfx list (being written).
#include <cstdio>

#include "tools/commands.h"

int RunList(int, char**) {
    std::fputs("kavisfx list: not available in this build yet\n", stderr);
    return 2;
}
