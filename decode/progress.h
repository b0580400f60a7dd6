// The whole run's percentage, sent to the progress bar whenever it changes.
#pragma once
#include <cstdint>

void ReportProgress(uint32_t doneInMember);
