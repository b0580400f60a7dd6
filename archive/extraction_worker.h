// The worker: walks the archive member by member and extracts it into the current folder.
#pragma once
#include <cstdint>

#include "archive/lzh_header.h"
#include "package/wide_string.h"

struct Extractor;

void ExtractionWorker(void* extractor);             // thread start routine
uint64_t SumOriginalSizes(Extractor& extractor);
// Sends the decoders' percentages to the extractor's progress bar (the worker does it).
void ConnectProgressBar(Extractor& extractor);
bool ExtractMember(Extractor& extractor, const LzhHeader& header);
bool CheckFolderConflict(Extractor& extractor, const WideString& outputPath);
void SetMemberTime(const WideString& outputPath, const LzhHeader& header);
