// The one DecodeState of the process: zero everywhere but keepRunning.
#include "decode/decode_state.h"

DecodeState decodeState;

// The stub runs no static initialisers and sets it in its own start-up.
[[maybe_unused]] static const bool keepRunningAtStart = (decodeState.keepRunning.store(1), true);
