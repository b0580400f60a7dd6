// The extraction worker: walks the archive member by member, writes each member below
// the current folder, checks its CRC-16, sets its time and tells the front end what it
// is doing. The same code runs on the stub's worker thread and in the host tool.
#include "archive/extraction_worker.h"

#include "app/extractor.h"
#include "archive/file_handle.h"
#include "archive/paths.h"
#include "decode/bit_input.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "package/ui_texts.h"
#include "platform/front_end.h"
#include "platform/system.h"

namespace {

constexpr uint32_t DamagedTextUnits = 256;  // the message buffer, terminator included

// Fixed fields of a header up to and including the level byte (offsets 0 to 20).
constexpr uint32_t ScanFieldsSize = 21;

uint32_t Le32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Bytes from the first header byte to the first byte of the packed data as the pre-scan
// counts them: levels 0 and 1 take the base header (H + 2; a level-1 packed size already
// counts the extended headers behind it), level 2 its 16-bit total length.
uint32_t ScannedHeaderSize(const uint8_t* fields) {
    if (fields[20] == 2) return static_cast<uint32_t>(fields[0]) | static_cast<uint32_t>(fields[1]) << 8;
    return static_cast<uint32_t>(fields[0]) + 2;
}

// Appends `text` to a fixed buffer, keeping `limit` units free for what must follow.
// Cuts before a lone high surrogate so that no half character is left behind.
uint32_t AppendCut(WideChar* buffer, uint32_t used, const WideChar* text, uint32_t limit) {
    uint32_t length = WideLength(text);
    if (used + length > limit) {
        length = limit > used ? limit - used : 0;
        if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
    }
    for (uint32_t i = 0; i < length; ++i) buffer[used + i] = text[i];
    return used + length;
}

// "ファイル %s が壊れています。" in 256 units; a path too long for it is cut and ends in
// an ellipsis, while the message keeps its head and tail.
void ShowDamagedMember(Extractor& extractor, const WideString& outputPath) {
    WideChar text[DamagedTextUnits];
    const uint32_t last = DamagedTextUnits - 1;
    const WideChar* damagedTail = Text(UiText::DamagedTail);
    const uint32_t tail = WideLength(damagedTail);
    uint32_t used = AppendCut(text, 0, Text(UiText::DamagedHead), last - tail);
    uint32_t pathRoom = last - tail - used;
    if (outputPath.Length() > pathRoom) {
        used = AppendCut(text, used, outputPath.Text(), last - tail - 1);
        text[used++] = u'\u2026';
    } else {
        used = AppendCut(text, used, outputPath.Text(), last - tail);
    }
    used = AppendCut(text, used, damagedTail, last);
    text[used] = 0;
    ShowMessage(extractor.mainWindow, text, nullptr, MessageIcon::Exclamation);
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

// The output path, a space and one of our texts.
void ShowPathMessage(Extractor& extractor, const WideString& outputPath, UiText tail) {
    WideString text(outputPath);
    text.AppendChar(u' ');
    text.Append(Text(tail));
    ShowMessage(extractor.mainWindow, text.Text(), nullptr, MessageIcon::Exclamation);
}

// A member that cannot be written: the system's text, or ours naming the member when a
// link below the destination stood in its way.
void ShowWriteFailure(Extractor& extractor, const WideString& outputPath) {
    if (LastErrorCode() != LinkErrorCode()) return ShowLastError();
    ShowPathMessage(extractor, outputPath, UiText::LinkInPath);
}

bool ExtractFolder(Extractor& extractor, const WideString& outputPath) {
    // A folder member whose path came down to nothing names the destination itself.
    if (outputPath.IsEmpty() || CreateFolderTree(outputPath)) return true;
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
    uint32_t crc = DecodeMember(extractor, output, header.originalSize, header.packedSize, outputPath, method);
    output->Close();
    delete output;

    if (decodeState.keepRunning.load() == 0) {
        DeletePath(outputPath.Text());
        return false;
    }
    // A file that could not be written whole is not kept: it would pass for the member.
    if (ReportDecodeFailure()) {
        DeletePath(outputPath.Text());
        return false;
    }
    if (cutShort || PackedDataRanOut() || (header.hasCrc && crc != header.dataCrc)) {
        extractor.failed = 1;
        ShowDamagedMember(extractor, outputPath);
        return false;
    }
    SetMemberTime(outputPath, header);
    return true;
}

}  // namespace

void ExtractionWorker(void* argument) {
    Extractor& extractor = *static_cast<Extractor*>(argument);
    MakeCrcTable();
    decodeState.progressTotal = SumOriginalSizes(extractor);

    LzhHeader header;
    while (ReadMemberHeader(extractor, header)) {
        uint64_t dataStart = extractor.packageFile->Tell();
        WideString name(header.path);
        SendMemberName(extractor, name.Text());
        if (!ExtractMember(extractor, header)) {
            extractor.failed = 1;
            if (decodeState.keepRunning.load() != 0) ++extractor.membersFailed;
            break;
        }
        NotifyShellOfMember(extractor, header.path);
        extractor.packageFile->Seek(static_cast<int64_t>(dataStart + header.packedSize), SeekOrigin::Begin);
        decodeState.progressBase += header.originalSize;
    }
    PostWorkerEnd(extractor, decodeState.keepRunning.load() == 0);
}

uint32_t SumOriginalSizes(Extractor& extractor) {
    FileHandle& file = *extractor.packageFile;
    const uint64_t start = file.Tell();
    uint64_t at = start;
    uint32_t total = 0;
    uint8_t fields[ScanFieldsSize];
    for (;;) {
        if (file.ReadByte(fields[0]) != 1 || fields[0] == 0) break;
        if (file.Read(ScanFieldsSize - 1, fields + 1) != ScanFieldsSize - 1) break;
        uint32_t headerSize = ScannedHeaderSize(fields);
        // A header shorter than its fixed fields has no known shape; the walk stops there too.
        if (headerSize < ScanFieldsSize + 1) break;
        total += Le32(fields + 11);
        at += static_cast<uint64_t>(headerSize) + Le32(fields + 7);
        if (!file.Seek(static_cast<int64_t>(at), SeekOrigin::Begin)) break;
    }
    file.Seek(static_cast<int64_t>(start), SeekOrigin::Begin);
    return total;
}

bool ExtractMember(Extractor& extractor, const LzhHeader& header) {
    WideString outputPath(header.path);
    SanitizeMemberPath(outputPath, u'/');

    MethodId method = LookUpMethod(header.method);
    if (method == MethodUnknown) return true;
    if (method == MethodLhd) {
        DeletePath(outputPath.Text());
        if (!ExtractFolder(extractor, outputPath)) return false;
        ++extractor.foldersDone;
        return true;
    }
    if (CheckFolderConflict(extractor, outputPath)) return false;
    DeletePath(outputPath.Text());
    if (!ExtractFile(extractor, header, outputPath, method)) return false;
    ++extractor.filesDone;
    extractor.bytesDone += header.originalSize;
    return true;
}

bool CheckFolderConflict(Extractor& extractor, const WideString& outputPath) {
    if (outputPath.IsEmpty() || !IsExistingFolder(outputPath.Text())) return false;
    ShowPathMessage(extractor, outputPath, UiText::FolderConflict);
    return true;
}

void SetMemberTime(const WideString& outputPath, const LzhHeader& header) {
    SetFileTimes(outputPath.Text(), header.modifiedTime);
}
