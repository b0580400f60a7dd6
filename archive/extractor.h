// Extractor: the one application object of a run, shared by the window, the dialog
// and the worker. The record is portable; the stub's window side lives in app/*.cpp.
#pragma once
#include <cstdint>

#include "platform/file_handle.h"
#include "archive/lzh_header.h"
#include "archive/written_paths.h"
#include "package/config_block.h"
#include "package/wide_string.h"
#include "platform/front_end.h"

struct Extractor {
    Extractor() = default;
    Extractor(const Extractor&) = delete;
    Extractor& operator=(const Extractor&) = delete;
    ~Extractor() {
        if (packageFile) packageFile->Close();
        delete packageFile;
    }

    FileHandle* packageFile = nullptr;   // the package, open for reading for the whole run
    WindowHandle mainWindow = nullptr;   // the progress window
    WindowHandle statusText = nullptr;
    WindowHandle progressBar = nullptr;
    WindowHandle abortButton = nullptr;
    HeaderRead archiveEnd = HeaderRead::End;  // how the last header read ended
    WideString currentOutputPath;        // file being written; none once it is whole
    WideString destination;              // destination folder of this run
    SfxConfig config;
    uint8_t failed = 0;                  // 1 once a member failed or the run was aborted
    // What the walk did, for the host tool's summary line.
    uint32_t filesDone = 0;              // files written and checked
    uint32_t foldersDone = 0;
    uint32_t membersFailed = 0;          // damaged, unreadable, of an unknown method or in conflict
    uint32_t conflicts = 0;              // members on the path of an earlier one, or of the archive
    uint64_t memberHeaderAt = 0;         // where the header of the member in hand begins
    WrittenPaths written;                // the files written so far
    uint64_t bytesDone = 0;              // original sizes of the files written
    // Asked before an existing file is replaced: true keeps it and passes over the member.
    // The stub leaves it null and replaces every file; the host tool's --skip-existing
    // and --keep-newer set it.
    bool (*keepExisting)(void* context, const WideString& outputPath, const LzhHeader& header) = nullptr;
    void* keepExistingContext = nullptr;
};
