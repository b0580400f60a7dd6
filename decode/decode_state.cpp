// The one DecodeState of the process: zero everywhere but keepRunning.
#include "decode/decode_state.h"

DecodeState decodeState;
