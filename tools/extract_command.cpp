// kavisfx extract (being written).
#include <cstdio>

#include "tools/commands.h"

int RunExtract(int, char**) {
    std::fputs("kavisfx extract: not available in this build yet\n", stderr);
    return 2;
}
