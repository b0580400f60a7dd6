// The stub runs without the C++ runtime library: allocation goes straight to the C runtime.
// Memory that cannot be had ends the program with the code of a system that cannot give
// the stub what it needs to run.
#include <cstddef>
#include <cstdlib>

#include "app/stub.h"

void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block) ExitProcess(ExitNoWindow);
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
