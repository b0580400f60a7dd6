// kavisfx test: decodes every member without writing anything and checks its CRC-16.
#include <cinttypes>
#include <cstdio>
#include <unistd.h>

#include "platform/file_handle.h"
#include "archive/extraction_worker.h"
#include "archive/lzh_header.h"
#include "decode/bit_input.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"
#include "platform/front_end.h"
#include "platform/system.h"
#include "tools/commands.h"
#include "tools/member_selection.h"
#include "tools/tool_front_end.h"
#include "tools/tool_support.h"

namespace {

const char Help[] =
    "usage: kavisfx test [--codepage NAME] FILE [MEMBER|PATTERN...]\n"
    "\n"
    "Decodes every member of an LHA archive or a package (or the members named, by their\n"
    "stored path or a glob pattern over it; a folder stands for what it holds), writing\n"
    "nothing, and compares each CRC-16 with its header. Prints one line per member: OK,\n"
    "damaged, or failed (not checked: an unknown method, or no memory).\n"
    "\n"
    "  --codepage NAME  code page of multibyte names (an iconv name; default CP932)\n"
    "\n"
    "Exit status: 0 every member intact, 1 a member damaged or failed, the archive damaged\n"
    "or a PATTERN that matches no member,\n"
    "2 bad usage, unreadable file, or not an LHA archive or package.\n";

// Failed: the member could not be checked here (no memory, or the sink refused a write).
enum class Verdict { Intact, Damaged, Failed };

Verdict TestMember(Extractor& extractor, FileHandle& sink, const LzhHeader& header, std::string& detail) {
    MethodId method = LookUpMethod(header.method);
    if (method == MethodUnknown) {
        detail = "unknown method " + DisplayMethod(header.method);
        return Verdict::Failed;
    }
    if (IsFolderMember(header, method)) return Verdict::Intact;
    const uint64_t dataEnd = extractor.packageFile->Tell() + header.packedSize;
    decodeState.failure = DecodeFailure::None;
    decodeState.failureCode = 0;
    uint32_t crc = DecodeMember(*extractor.packageFile, &sink, header.originalSize, header.packedSize, method);
    if (decodeState.failure == DecodeFailure::NoInputBuffer || decodeState.failure == DecodeFailure::NoWindow) {
        detail = DisplayText(SystemErrorText(OutOfMemoryErrorCode()).Text());
        return Verdict::Failed;
    }
    if (decodeState.failure == DecodeFailure::WriteFailed) {
        detail = DisplayText(SystemErrorText(decodeState.failureCode).Text());
        return Verdict::Failed;
    }
    if (dataEnd > extractor.packageFile->size) {
        detail = "data cut short by the end of the file";
        return Verdict::Damaged;
    }
    if (PackedDataRanOut()) {
        detail = "the packed data does not match the member's size";
        return Verdict::Damaged;
    }
    if (header.hasCrc && crc != header.dataCrc) {
        char text[64];
        std::snprintf(text, sizeof text, "CRC-16 %04x, header says %04x", crc, header.dataCrc);
        detail = text;
        return Verdict::Damaged;
    }
    if (!header.hasCrc) detail = "no CRC-16 to check";
    return Verdict::Intact;
}

}  // namespace

int DecodeChosenMembers(const char* command, const ToolArguments& args, bool toStdout) {
    ArchiveInput input;
    if (int status = OpenArchiveInput(command, args.file, input)) return status;
    Extractor& extractor = input.extractor;
    FileHandle sink;
    if (toStdout ? !sink.OpenDescriptor(STDOUT_FILENO)
                 : !sink.Open(u"/dev/null", FileAccess::Write, FileDisposition::OpenExisting)) {
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command, toStdout ? "standard output" : "/dev/null",
                     DisplayText(SystemErrorText(LastErrorCode()).Text()).c_str());
        return 2;
    }
    // With the data on standard output, only what went wrong and the summary are told,
    // on standard error.
    std::FILE* report = toStdout ? stderr : stdout;

    ToolFrontEnd frontEnd(command, args.file, isatty(STDERR_FILENO));
    MemberSelection selection(args.members);
    MakeCrcTable();
    ConnectProgressBar(extractor);
    decodeState.progressTotal = SumOriginalSizes(extractor);
    FileHandle& file = *extractor.packageFile;
    LzhHeader header;
    uint32_t damaged = 0, files = 0, folders = 0;
    uint64_t bytes = 0;
    while (ReadMemberHeader(extractor, header)) {
        uint64_t dataStart = file.Tell();
        if (selection.Chooses(header)) {
            SendMemberName(extractor.mainWindow, header.path.Text());
            std::string detail;
            Verdict verdict = TestMember(extractor, sink, header, detail);
            frontEnd.ClearLine();
            static const char* const words[] = {"OK", "damaged", "failed"};
            const char* word = words[static_cast<int>(verdict)];
            if (!toStdout || verdict != Verdict::Intact)
                std::fprintf(report, "%-8s %s%s%s\n", word, DisplayText(StoredPath(header)).c_str(),
                             detail.empty() ? "" : ": ", detail.c_str());
            std::fflush(report);
            if (verdict == Verdict::Damaged || verdict == Verdict::Failed) ++damaged;
            if (verdict == Verdict::Intact && IsFolderMember(header, LookUpMethod(header.method))) {
                ++folders;
            } else if (verdict == Verdict::Intact) {
                ++files;
                bytes += header.originalSize;
            }
        }
        if (!SeekNextHeader(extractor, dataStart, header)) break;
        decodeState.progressBase += header.originalSize;
    }
    frontEnd.ClearLine();
    int status = ReportArchiveEnd(command, args.file, extractor);
    const bool unmatched = selection.ReportUnmatched(command);
    std::fprintf(report, "%s\n", SummaryLine(files, folders, bytes, damaged, status != 0, "").c_str());
    return status || damaged || unmatched ? 1 : 0;
}

int RunTest(int argc, char** argv) {
    ToolArguments args;
    if (!ParseToolArguments("test", argc, argv, OptionCodePage | OptionMembers, args)) return 2;
    if (args.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    return DecodeChosenMembers("test", args, false);
}
