// What the list, info, test and extract commands share: their options, opening a file as
// a package or a plain archive, and text for the terminal.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/extractor.h"
#include "package/wide_string.h"

// Options of the reading commands. Only those a command names in `allowed` are accepted.
enum ToolOption : uint32_t {
    OptionTsv = 1, OptionDirectory = 2, OptionCodePage = 4, OptionExisting = 8,
    OptionMembers = 16,  // MEMBER|PATTERN ... after the file
    OptionStdout = 32,   // -c, --stdout
    OptionUtc = 64,
};

// What extract does with a file that is already there: --overwrite, --skip-existing,
// --keep-newer (keeps it when it is as new as the member or newer).
enum class ExistingFiles { Replace, Skip, KeepNewer };

struct ToolArguments {
    std::string file;
    std::string directory;       // -C DIR
    std::vector<std::string> members;  // patterns choosing members; none: every member
    bool tsv = false;
    bool help = false;
    bool toStdout = false;
    bool utc = false;
    ExistingFiles existing = ExistingFiles::Replace;
};

// Parses argv (after the command name); prints the cause and returns false on bad usage:
// an unknown option (with the nearest one), options that contradict each other.
// --codepage is applied here.
bool ParseToolArguments(const char* command, int argc, char** argv, uint32_t allowed, ToolArguments& out);

// The file a command works on. A file that starts with "MZ" and is longer than the
// configuration block's offset is a package: its block is read and its archive begins
// behind it. Any other file is a plain archive read from its first byte.
struct ArchiveInput {
    Extractor extractor;   // packageFile stands at the first member header
    bool isPackage = false;
};

// Opens `path` for the command; on failure prints "kavisfx COMMAND: PATH: cause" and
// returns the exit status (2: unreadable, 1: a package whose block is cut short); 0 on success.
// A file that holds neither a package nor an archive is refused (exit 2); with
// `packageOnly`, so is a plain archive.
int OpenArchiveInput(const char* command, const std::string& path, ArchiveInput& input, bool packageOnly = false);

// True when the file, standing where an archive should begin, holds a readable first
// header or just the end mark; the position is kept.
bool StartsLikeAnArchive(FileHandle& file);

// After a walk: 1 (with a message for a cut header) when it ended at bytes that are
// neither the end mark nor a readable header, 0 otherwise.
int ReportArchiveEnd(const char* command, const std::string& path, const Extractor& extractor);
inline bool ArchiveDamaged(const Extractor& extractor) {
    return extractor.archiveEnd == HeaderRead::Cut || extractor.archiveEnd == HeaderRead::UnknownShape;
}

// The last line of test and extract: "12 files, 3 folders, 204 MB: all OK", or the
// count that failed; a nonempty `note` follows after a semicolon.
std::string SummaryLine(uint32_t files, uint32_t folders, uint64_t bytes, uint32_t failed, bool damagedArchive,
                        const std::string& note);

// UTF-8 for the terminal, escaped (tools/terminal_text.h) so that a name stays on its
// line, in its order, and sends the terminal no commands.
std::string DisplayText(const WideChar* text);
std::string DisplayText(const std::string& utf8);
// The member's path as the user names it: UTF-8, folders separated by '/' (level-0 and
// level-1 names keep the backslashes of MS-DOS).
std::string StoredPath(const LzhHeader& header);
// "512 bytes", "3.4 kB", "204 MB".
std::string SizeText(uint64_t bytes);
// True when the file holds a package or an LHA archive from its first byte.
bool HoldsPackageOrArchive(const std::string& path);
std::string DisplayMethod(const char method[5]);
WideString WideFromUtf8(const std::string& text);
