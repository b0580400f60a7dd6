// libFuzzer entry of the header target (see fuzz_targets.h).
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunHeaderTarget(data, size);
    return 0;
}
