// libFuzzer entry of the decoder target (see fuzz_targets.h).
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunDecoderTarget(data, size);
    return 0;
}
