// kavisfx extract: runs the stub's extraction worker on this machine.
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "archive/extraction_worker.h"
#include "archive/paths.h"
#include "decode/decode_state.h"
#include "platform/posix/utf8.h"
#include "platform/system.h"
#include "tools/commands.h"
#include "tools/member_selection.h"
#include "tools/tool_front_end.h"
#include "tools/tool_support.h"

namespace {

const char Help[] =
    "usage: kavisfx extract [-C DIR] [--skip-existing | --keep-newer] [--codepage NAME]\n"
    "                       FILE [MEMBER|PATTERN...]\n"
    "       kavisfx extract --stdout [--codepage NAME] FILE [MEMBER|PATTERN...]\n"
    "\n"
    "Extracts an LHA archive or a package exactly as the package's stub would: every path\n"
    "stays inside the destination, each file's CRC-16 is checked and its time set, and the\n"
    "run stops at the first member that fails. Given MEMBERs (stored paths, or glob\n"
    "patterns over them: '*' and '?' match '/' too; a folder stands for what it holds),\n"
    "only those are extracted, with the folders they need.\n"
    "\n"
    "  -C DIR           destination (default: the current folder; created when missing)\n"
    "  --overwrite      replace files that exist already, as the stub does (default)\n"
    "  --skip-existing  keep every file that exists already\n"
    "  --keep-newer     keep a file that exists already when it is as new as the member\n"
    "                   or newer\n"
    "  -c, --stdout     write the files' data to standard output, one after another, and\n"
    "                   nothing to disk; damaged members and the summary go to standard error\n"
    "  --codepage NAME  code page of multibyte names (an iconv name; default CP932)\n"
    "\n"
    "Each file kept is listed; the last line counts the files, folders and bytes written\n"
    "and what failed. On a terminal the member in hand and a progress bar are shown on\n"
    "standard error.\n"
    "Ctrl-C aborts: the member in hand is deleted.\n"
    "Exit status: 0 complete, 1 a member failed, the archive is damaged or a PATTERN\n"
    "matches no member, 2 bad usage or unreadable file, 130 aborted.\n";

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    keepRunning.store(0);
    if (!interrupted) {
        interrupted = 1;
        return;
    }
    DiscardTemporaryInHand();
    ::_exit(130);
}

// Ctrl-C is the abort button; a second one ends the process at once, the member in hand
// deleted all the same. A file that grows past the size limit fails its write (EFBIG)
// instead of killing the process.
void InstallSignals() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

bool EnterDestination(const std::string& directory) {
    if (directory.empty()) return true;
    WideString path = WideFromUtf8(directory);
    if (!CreateFolderTree(path, CreateDestinationFolder) || !SetCurrentFolder(path.Text())) {
        std::fprintf(stderr, "kavisfx extract: %s: %s\n", DisplayText(directory).c_str(),
                     DisplayText(SystemErrorText(LastErrorCode()).Text()).c_str());
        return false;
    }
    return true;
}

// Decides for the worker whether an existing file stays, and lists those that do.
struct KeepPolicy {
    ExistingFiles mode;
    ToolFrontEnd& frontEnd;
    uint32_t kept = 0;
};

bool KeepExisting(void* context, const WideString& outputPath, const LzhHeader& header) {
    auto& policy = *static_cast<KeepPolicy*>(context);
    // The entry is looked at through the same walk as the write, which follows no link (a
    // path through one fails the member as it does without these options) and has no
    // limit of length.
    int64_t existingTime;
    if (!ExistingEntryTime(outputPath.Text(), existingTime)) return false;
    if (policy.mode == ExistingFiles::KeepNewer && existingTime < header.modifiedTime) return false;
    policy.frontEnd.ClearLine();
    std::printf("kept     %s: %s\n", DisplayText(outputPath.Text()).c_str(),
                policy.mode == ExistingFiles::Skip ? "it exists" : "the existing file is as new or newer");
    std::fflush(stdout);
    ++policy.kept;
    return true;
}

bool ChooseMember(void* selection, const LzhHeader& header) {
    return static_cast<MemberSelection*>(selection)->Chooses(header);
}

}  // namespace

int RunExtract(int argc, char** argv) {
    ToolArguments args;
    if (!ParseToolArguments("extract", argc, argv,
                            OptionDirectory | OptionCodePage | OptionExisting | OptionMembers | OptionStdout, args))
        return 2;
    if (args.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (args.toStdout) return DecodeChosenMembers("extract", args, true);
    ArchiveInput input;
    if (int status = OpenArchiveInput("extract", args.file, input)) return status;
    if (!EnterDestination(args.directory)) return 2;
    Extractor& extractor = input.extractor;
    extractor.destination = CurrentDirectoryPath();

    ToolFrontEnd frontEnd("extract", args.file, isatty(STDERR_FILENO));
    KeepPolicy policy{args.existing, frontEnd};
    if (args.existing != ExistingFiles::Replace) {
        extractor.keepExisting = KeepExisting;
        extractor.keepExistingContext = &policy;
    }
    MemberSelection selection(args.members);
    if (!selection.ChoosesAll()) {
        extractor.chooseMember = ChooseMember;
        extractor.chooseMemberContext = &selection;
    }
    InstallSignals();
    ExtractionWorker(&extractor);
    if (frontEnd.aborted) {
        // The worker deleted the member in hand; the window of the stub does it once more.
        if (!extractor.currentOutputPath.IsEmpty()) DeletePath(extractor.currentOutputPath.Text());
        frontEnd.ClearLine();
        std::fprintf(stderr, "kavisfx extract: %s: aborted\n", DisplayText(args.file).c_str());
        return 130;
    }
    frontEnd.ClearLine();
    std::string note;
    if (extractor.conflicts)
        note = std::to_string(extractor.conflicts) + (extractor.conflicts == 1 ? " name conflict" : " name conflicts");
    if (policy.kept)
        note += (note.empty() ? "" : "; ") + std::to_string(policy.kept) +
                (policy.kept == 1 ? " existing file kept" : " existing files kept");
    std::printf("%s\n", SummaryLine(extractor.filesDone, extractor.foldersDone, extractor.bytesDone,
                                    extractor.membersFailed, ArchiveDamaged(extractor), note).c_str());
    // Only a walk that saw every member can tell that a pattern matches none.
    const bool unmatched = extractor.archiveEnd == HeaderRead::End && selection.ReportUnmatched("extract");
    return extractor.failed || unmatched ? 1 : 0;
}
