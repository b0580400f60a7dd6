// kavisfx: the host tool.
#include <cstdio>

int main() {
    std::puts("kavisfx");
    return 0;
}
