// The whole run's percentage, sent to the progress bar whenever it changes.
#pragma once
#include <cstdint>

// Where the percentages go: whoever runs the decoders connects them (the worker, to the
// progress bar); unconnected, nothing is sent.
void ConnectProgress(void (*showPercent)(void* context, uint32_t percent), void* context);

void ReportProgress(uint64_t doneInMember);

// The smallest member byte count above `doneInMember` at which ReportProgress could
// send anything, given what it sent last; loops that report per symbol may call it only
// once that count is reached and send exactly the same values.
uint64_t NextProgressCheck(uint64_t doneInMember);
