// kavisfx test (being written).
#include <cstdio>

#include "tools/commands.h"

int RunTest(int, char**) {
    std::fputs("kavisfx test: not available in this build yet\n", stderr);
    return 2;
}
