// The extraction worker: walks the archive member by member, writes each member below
// the current folder, checks its CRC-16, sets its time and tells the front end what it
// is doing. The same code runs on the stub's worker thread and in the host tool.
#include "archive/extraction_worker.h"

#include "archive/decode_ahead.h"
#include "archive/extractor.h"
#include "platform/file_handle.h"
#include "archive/paths.h"
#include "decode/bit_input.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "decode/progress.h"
#include "package/ui_texts.h"
#include "platform/front_end.h"
#include "platform/system.h"

namespace {

// "ファイル %s が壊れています。", naming the whole path however long it is.
void ShowDamagedMember(Extractor& extractor, const WideString& outputPath) {
    WideString text(Text(UiText::DamagedHead));
    text.Append(outputPath.Text());
    text.Append(Text(UiText::DamagedTail));
    ShowMessage(extractor.mainWindow, text.Text(), nullptr, MessageIcon::Exclamation);
}

// Tells the user why a member's decoding stopped early; false when it did not.
bool ReportDecodeFailure() {
    uint32_t code = decodeState.failureCode;
    switch (decodeState.failure) {
    case DecodeFailure::None:
        return false;
    case DecodeFailure::NoInputBuffer:
    case DecodeFailure::NoWindow:
        if (code == 0) code = OutOfMemoryErrorCode();
        break;
    case DecodeFailure::WriteFailed:
        break;
    }
    ShowSystemError(code, MessageIcon::Exclamation);
    return true;
}

// "<path> <text>", the pattern of the worker's messages about one member.
void ShowPathMessage(Extractor& extractor, const WideString& path, UiText id) {
    WideString text(path);
    text.AppendChar(u' ');
    text.Append(Text(id));
    ShowMessage(extractor.mainWindow, text.Text(), nullptr, MessageIcon::Exclamation);
}

// A member not extracted while the walk goes on: "<path> (<detail>) <text>", and the run
// does not count as complete.
void ReportPassedOver(Extractor& extractor, const WideString& path, const WideChar* detail, UiText id) {
    WideString text(path);
    text.Append(u" (");
    text.Append(detail);
    text.AppendChar(u')');
    ShowPathMessage(extractor, text, id);
    extractor.failed = 1;
    ++extractor.membersFailed;
}

// A member of a method this program cannot decode is named and counted as failed; the
// members after it are still extracted, but the run does not count as complete.
void ReportUnknownMethod(Extractor& extractor, const LzhHeader& header) {
    WideChar method[6] = {};
    for (uint32_t i = 0; i < 5; ++i) method[i] = static_cast<uint8_t>(header.method[i]);
    ReportPassedOver(extractor, header.path, method, UiText::UnknownMethod);
}

// The output path as the system compares names.
WideString ComparablePath(const WideString& outputPath) {
    WideString path(outputPath);
    FoldNameCase(path.Data(), path.Length());
    return path;
}

// A file member on the path of one written earlier in this run would silently replace it:
// it is named beside that member, whose header is read again (the package file is put
// back where it stood).
bool ReportNameConflict(Extractor& extractor, const LzhHeader& header, uint64_t hash) {
    const uint64_t earlierAt = extractor.written.Find(hash);
    if (earlierAt == WrittenPaths::NoPosition) return false;
    FileHandle& file = *extractor.packageFile;
    const uint64_t here = file.Tell();
    LzhHeader earlier;
    if (file.Seek(static_cast<int64_t>(earlierAt), SeekOrigin::Begin)) ReadHeader(file, earlier);
    file.Seek(static_cast<int64_t>(here), SeekOrigin::Begin);
    ReportPassedOver(extractor, header.path, earlier.path.Text(), UiText::FileConflict);
    ++extractor.conflicts;
    return true;
}

// Anything but a folder at the path of a folder member (written "dir/"); a link there,
// or on the way, leaves LinkErrorCode() as the last error.
bool IsExistingFile(const WideString& folderPath) {
    WideString path(folderPath);
    if (!path.IsEmpty() && path.Text()[path.Length() - 1] == u'/') path.Resize(path.Length());
    SetLastErrorCode(0);
    return !path.IsEmpty() && PathExists(path.Text()) && !IsExistingFolder(path.Text());
}

// A file member needs a name after its folders; "", "a/" or what sanitising left of
// "../.." name no file.
bool HasFileName(const WideString& path) { return !path.IsEmpty() && path.Text()[path.Length() - 1] != u'/'; }

// The walk ended at bytes that are neither the end mark nor a readable header: members
// may be missing, so the run is not complete. An unknown shape was shown already.
void ReportArchiveEnd(Extractor& extractor) {
    if (extractor.archiveEnd == HeaderRead::Member || extractor.archiveEnd == HeaderRead::End) return;
    if (extractor.archiveEnd == HeaderRead::Cut)
        ShowMessage(extractor.mainWindow, Text(UiText::DamagedArchive), nullptr, MessageIcon::Exclamation);
    extractor.failed = 1;
}

// A folder member's time and permissions, set once its contents are in place (writing a
// file changes its folder's time). The folder is changed through a handle of its own, so
// a folder swapped meanwhile for anything else is left alone, and so is what stands there.
void RestoreFolderStamp(const Extractor& extractor, const LzhHeader& header, FileHandle& folder) {
    if (!IsFolderMember(header, LookUpMethod(header.method))) return;
    // A folder the host tool was not asked to extract is left as it stands.
    if (extractor.chooseMember && !extractor.chooseMember(extractor.chooseMemberContext, header)) return;
    WideString path(header.path);
    SanitizeMemberPath(path, u'/');
    if (path.IsEmpty() || !folder.OpenFolder(path.Text())) return;
    // The owner keeps full access so that the folder can be filled again.
    if (header.hasUnixMode) folder.SetMode((header.unixMode & FilePermissionBits) | 0700);
    if (header.hasTime) folder.SetTimes(header.modifiedTime);
    folder.Close();
}

// The next member's header, as the second thread read it or from the package.
bool ReadNextHeader(Extractor& extractor, LzhHeader& header) {
    if (!TakeHeaderAhead(extractor.memberHeaderAt, *extractor.packageFile, header))
        return ReadMemberHeader(extractor, header);
    extractor.archiveEnd = HeaderRead::Member;
    return true;
}

// What a walk over the headers counted.
struct HeaderTally {
    uint32_t members = 0;
    uint64_t originalBytes = 0;
};

// Reads the headers from `from` on, passing over their packed data, and counts them and
// their original sizes; with `restoreFolderStamps`, folder members get their stamps (a
// walk that needs no memory per folder; where the second thread kept every folder's
// header, only those are walked, and none is read). Stops at the first header that cannot
// be read.
HeaderTally WalkHeaders(Extractor& extractor, uint64_t from, bool restoreFolderStamps) {
    FileHandle& file = *extractor.packageFile;
    HeaderTally tally;
    const bool kept = restoreFolderStamps && KeptEveryFolderAhead();
    if (!kept && !file.Seek(static_cast<int64_t>(from), SeekOrigin::Begin)) return tally;
    LzhHeader header;
    FileHandle folder;
    while (kept ? TakeFolderAhead(header) : ReadHeader(file, header) == HeaderRead::Member) {
        ++tally.members;
        tally.originalBytes += header.originalSize;
        if (restoreFolderStamps) RestoreFolderStamp(extractor, header, folder);
        if (!kept && !file.Seek(static_cast<int64_t>(header.packedSize), SeekOrigin::Current)) break;
    }
    return tally;
}

// A member that cannot be written: the system's text, or ours naming the member when a
// link below the destination stood in its way.
void ShowWriteFailure(Extractor& extractor, const WideString& outputPath) {
    if (LastErrorCode() != LinkErrorCode()) return ShowLastError();
    ShowPathMessage(extractor, outputPath, UiText::LinkInPath);
}

bool ExtractFolder(Extractor& extractor, const WideString& outputPath) {
    // A folder member whose path came down to nothing names the destination itself.
    if (outputPath.IsEmpty() || CreateFolder(outputPath.Text()) != CreateFolderResult::Failed) return true;
    ShowWriteFailure(extractor, outputPath);
    return false;
}

bool ExtractFile(Extractor& extractor, const LzhHeader& header, const WideString& outputPath,
                 MethodId method) {
    FileHandle* output = OpenOutputFile(outputPath);
    if (!output || !output->IsOpen()) {
        ShowWriteFailure(extractor, outputPath);
        delete output;
        return false;
    }
    // Data that runs past the end of the package was cut off, and a stream that needs
    // more bits than its packed data holds (or stored data shorter or longer than the
    // member) is damaged: such a file is not the member, whatever its CRC says (a header
    // may carry none, and zeros have a CRC of 0).
    const uint64_t dataEnd = extractor.packageFile->Tell() + header.packedSize;
    const bool cutShort = dataEnd > extractor.packageFile->size;
    decodeState.failure = DecodeFailure::None;
    decodeState.failureCode = 0;
    // An abort deletes the temporary, never the file it would replace.
    extractor.currentOutputPath = output->TemporaryPath();
    uint32_t crc;
    if (!TakeDecodedAhead(extractor.memberHeaderAt, *output, crc))
        crc = DecodeMember(*extractor.packageFile, output, header.originalSize, header.packedSize, method);
    const bool damaged = cutShort || PackedDataRanOut() || (header.hasCrc && crc != header.dataCrc);
    bool good = !damaged && decodeState.failure == DecodeFailure::None && keepRunning.load() != 0;
    // Stamped through the handle still open: no second walk down the path.
    if (good) SetMemberTime(*output, header);
    // Some file systems (network ones) report a write they could not finish only when the
    // file is closed: it is then not the whole member, and the system says why.
    if (good && !(output->Close() && output->PutInPlace(outputPath.Text(), true))) {
        good = false;
        decodeState.failure = DecodeFailure::WriteFailed;
        decodeState.failureCode = LastErrorCode();
    }
    if (good) {
        delete output;
        extractor.currentOutputPath.Clear();  // whole now: an abort from here on must not delete it
        return true;
    }
    // An aborted member, and a file that could not be written whole, are not kept: it
    // would pass for the member.
    if (keepRunning.load() == 0 || ReportDecodeFailure()) {
        delete output;  // deletes the temporary
        return false;
    }
    // A damaged member takes its name only where no file stood: one that did is kept whole.
    output->PutInPlace(outputPath.Text(), false);
    delete output;
    extractor.failed = 1;
    ShowDamagedMember(extractor, outputPath);
    return false;
}

}  // namespace

void ExtractionWorker(void* argument) {
    Extractor& extractor = *static_cast<Extractor*>(argument);
    MakeCrcTable();
    HoldReachedFolders(true);
    ConnectProgressBar(extractor);
    const uint64_t archiveStart = extractor.packageFile->Tell();
    // The second thread decodes while the worker counts the bytes for the progress bar.
    StartDecodingAhead(extractor);
    decodeState.progressTotal = SumOriginalSizes(extractor);

    LzhHeader header;
    while ((extractor.memberHeaderAt = extractor.packageFile->Tell(), ReadNextHeader(extractor, header))) {
        uint64_t dataStart = extractor.packageFile->Tell();
        SendMemberName(extractor.mainWindow, header.path.Text());
        // After an abort nothing more is touched: the next member would replace a file.
        if (keepRunning.load() == 0 || !ExtractMember(extractor, header)) {
            extractor.failed = 1;
            if (keepRunning.load() != 0) ++extractor.membersFailed;
            break;
        }
        NotifyShellOfMember(extractor, header.path);
        if (!SeekNextHeader(extractor, dataStart, header)) break;
        decodeState.progressBase += header.originalSize;
    }
    StopDecodingAhead();
    ReportArchiveEnd(extractor);
    if (!extractor.failed) WalkHeaders(extractor, archiveStart, true);  // after a complete run only
    HoldReachedFolders(false);
    PostWorkerEnd(extractor.mainWindow, keepRunning.load() == 0);
}

bool SeekNextHeader(Extractor& extractor, uint64_t dataStart, const LzhHeader& header) {
    // Packed data that runs past the end of the file: the archive was cut, and the members
    // that followed are missing.
    const uint64_t next = dataStart + header.packedSize;
    FileHandle& file = *extractor.packageFile;
    if (next <= file.size && file.Seek(static_cast<int64_t>(next), SeekOrigin::Begin)) return true;
    extractor.archiveEnd = HeaderRead::Cut;
    return false;
}

void ConnectProgressBar(Extractor& extractor) {
    ConnectProgress([](void* bar, uint32_t percent) { SendProgressPercent(bar, percent); }, extractor.progressBar);
}

uint64_t SumOriginalSizes(Extractor& extractor) {
    FileHandle& file = *extractor.packageFile;
    const uint64_t start = file.Tell();
    const HeaderTally tally = WalkHeaders(extractor, start, false);
    extractor.written.Reserve(tally.members);
    file.Seek(static_cast<int64_t>(start), SeekOrigin::Begin);
    return tally.originalBytes;
}

bool ExtractMember(Extractor& extractor, const LzhHeader& header) {
    if (extractor.chooseMember && !extractor.chooseMember(extractor.chooseMemberContext, header)) return true;
    WideString outputPath(header.path);
    if (!TakeOutputPathAhead(extractor.memberHeaderAt, outputPath)) SanitizeMemberPath(outputPath, u'/');

    MethodId method = LookUpMethod(header.method);
    if (method == MethodUnknown) {
        ReportUnknownMethod(extractor, header);
        return true;
    }
    if (IsFolderMember(header, method)) {
        if (IsExistingFile(outputPath)) {
            const bool link = LastErrorCode() == LinkErrorCode();
            ShowPathMessage(extractor, outputPath, link ? UiText::LinkInPath : UiText::FileConflict);
            return false;
        }
        if (!ExtractFolder(extractor, outputPath)) return false;
        ++extractor.foldersDone;
        return true;
    }
    if (!HasFileName(outputPath)) {
        ShowPathMessage(extractor, header.path, UiText::InvalidName);
        return false;
    }
    if (CheckFolderConflict(extractor, outputPath)) return false;
    const uint64_t hash = WrittenPaths::Hash(ComparablePath(outputPath));
    if (ReportNameConflict(extractor, header, hash)) return true;
    // Replacing the archive itself would lose it (a system that refuses to replace the
    // running package says so when the file is put in place).
    if (extractor.packageFile->IsAt(outputPath.Text())) {
        ShowLastError();
        extractor.failed = 1;
        ++extractor.membersFailed;
        ++extractor.conflicts;
        return true;
    }
    if (extractor.keepExisting && extractor.keepExisting(extractor.keepExistingContext, outputPath, header))
        return true;
    if (!ExtractFile(extractor, header, outputPath, method)) return false;
    extractor.written.Add(hash, extractor.memberHeaderAt);
    ++extractor.filesDone;
    extractor.bytesDone += header.originalSize;
    return true;
}

bool CheckFolderConflict(Extractor& extractor, const WideString& outputPath) {
    if (outputPath.IsEmpty() || !IsExistingFolder(outputPath.Text())) return false;
    ShowPathMessage(extractor, outputPath, UiText::FolderConflict);
    return true;
}

void SetMemberTime(FileHandle& output, const LzhHeader& header) {
    if (header.hasTime) output.SetTimes(header.modifiedTime);
    if (header.hasUnixMode) output.SetMode(header.unixMode & FilePermissionBits);
}
