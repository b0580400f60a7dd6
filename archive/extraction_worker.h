// The worker: walks the archive member by member and extracts it into the current folder.
#pragma once
#include <cstdint>

#include "archive/lzh_header.h"
#include "package/wide_string.h"

struct Extractor;
class FileHandle;

void ExtractionWorker(void* extractor);             // thread start routine
// The pre-scan: the sum of the members' original sizes; it also makes room for the paths
// of the run's files (Extractor::written).
uint64_t SumOriginalSizes(Extractor& extractor);
// Sends the decoders' percentages to the extractor's progress bar (the worker does it).
void ConnectProgressBar(Extractor& extractor);
// Moves the package file to the header behind a member whose data begins at `dataStart`;
// false, with the archive marked damaged, when it cannot.
bool SeekNextHeader(Extractor& extractor, uint64_t dataStart, const LzhHeader& header);
bool ExtractMember(Extractor& extractor, const LzhHeader& header);
bool CheckFolderConflict(Extractor& extractor, const WideString& outputPath);
void SetMemberTime(FileHandle& output, const LzhHeader& header);  // on the file still open
