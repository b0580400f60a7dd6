// The DecodeState of each decoding thread, and the flag that stops them all.
#include "decode/decode_state.h"

KAVI_DECODE_STATE_STORAGE constinit DecodeState decodeState;
std::atomic<uint32_t> keepRunning;

// The stub runs no static initialisers and sets it in its own start-up.
[[maybe_unused]] static const bool keepRunningAtStart = (keepRunning.store(1), true);
