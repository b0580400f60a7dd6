// kavisfx list: one line per member, as the header reader sees it.
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "archive/extraction_worker.h"
#include "archive/lzh_header.h"
#include "tools/commands.h"
#include "tools/member_selection.h"
#include "tools/tool_front_end.h"
#include "tools/tool_support.h"

namespace {

const char Help[] =
    "usage: kavisfx list [--tsv] [--utc] [--codepage NAME] FILE [MEMBER|PATTERN...]\n"
    "\n"
    "Lists the members of an LHA archive or of a package (or the members named, by their\n"
    "stored path or a glob pattern over it; a folder stands for what it holds): method,\n"
    "packed size, original size, CRC-16, header level, modification time and the path as\n"
    "stored, folders separated by '/'.\n"
    "\n"
    "  --tsv            tab-separated columns for scripts: method, packed size, original\n"
    "                   size, CRC-16 (4 lower-case hex digits, or -), level, modification\n"
    "                   time in Unix seconds (- when the archive has none), path (UTF-8);\n"
    "                   no heading\n"
    "  --utc            times in UTC instead of local time\n"
    "  --codepage NAME  code page of multibyte names (an iconv name; default CP932)\n"
    "\n"
    "Times are local (the TZ variable), as the archive's MS-DOS time of a level-0 or\n"
    "level-1 header is stored: that one is shown as it stands unless --utc is given.\n"
    "Control characters and bidirectional controls in names are shown escaped (\\x1b).\n"
    "Exit status: 0 listed, 1 damaged archive (a header cut short or of unknown shape) or\n"
    "a PATTERN that matches no member, 2 bad usage, unreadable file, or not an LHA archive\n"
    "or package.\n";

std::string TimeText(const struct tm& parts) {
    char text[32];
    if (!std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts)) return "?";
    return text;
}

// The MS-DOS stamp of a level-0 or level-1 header is the packer's local time: shown as
// it is stored, as other archivers show it. A Unix time (level 2, or an extended
// header) is shown in this machine's local time, or in UTC.
std::string ShownTime(const LzhHeader& header, bool utc) {
    if (!header.hasTime) return "-";
    if (!utc && header.level != 2 && header.modifiedTime == DosTimeToUnixTime(header.rawTime)) {
        struct tm parts = {};
        parts.tm_year = static_cast<int>(header.rawTime >> 25) + 80;
        parts.tm_mon = static_cast<int>((header.rawTime >> 21) & 0x0F) - 1;
        parts.tm_mday = static_cast<int>((header.rawTime >> 16) & 0x1F);
        parts.tm_hour = static_cast<int>((header.rawTime >> 11) & 0x1F);
        parts.tm_min = static_cast<int>((header.rawTime >> 5) & 0x3F);
        parts.tm_sec = static_cast<int>(header.rawTime & 0x1F) * 2;
        return TimeText(parts);
    }
    time_t t = static_cast<time_t>(header.modifiedTime);
    struct tm parts;
    if (!(utc ? gmtime_r(&t, &parts) : localtime_r(&t, &parts))) return "?";
    return TimeText(parts);
}

std::string CrcText(const LzhHeader& header) {
    if (!header.hasCrc) return "-";
    char text[8];
    std::snprintf(text, sizeof text, "%04x", header.dataCrc);
    return text;
}

void PrintMember(const LzhHeader& header, const ToolArguments& args) {
    const bool tsv = args.tsv;
    std::string method = DisplayMethod(header.method), path = DisplayText(StoredPath(header));
    if (tsv) {
        std::string time = header.hasTime ? std::to_string(header.modifiedTime) : "-";
        std::printf("%s\t%" PRIu64 "\t%" PRIu64 "\t%s\t%u\t%s\t%s\n", method.c_str(), header.packedSize,
                    header.originalSize, CrcText(header).c_str(), header.level, time.c_str(), path.c_str());
        return;
    }
    std::printf("%-6s %10" PRIu64 " %10" PRIu64 "  %-4s  %u  %-19s  %s\n", method.c_str(), header.packedSize,
                header.originalSize, CrcText(header).c_str(), header.level,
                ShownTime(header, args.utc).c_str(), path.c_str());
}

}  // namespace

int RunList(int argc, char** argv) {
    ToolArguments args;
    if (!ParseToolArguments("list", argc, argv, OptionTsv | OptionCodePage | OptionMembers | OptionUtc, args))
        return 2;
    if (args.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    ArchiveInput input;
    if (int status = OpenArchiveInput("list", args.file, input)) return status;

    ToolFrontEnd frontEnd("list", args.file, false);
    if (!args.tsv) std::printf("%-6s %10s %10s  %-4s  %s  %-19s  %s\n", "method", "packed", "original", "crc", "l",
                               args.utc ? "modified (UTC)" : "modified", "path");
    LzhHeader header;
    uint32_t members = 0;
    uint64_t packed = 0, original = 0;
    FileHandle& file = *input.extractor.packageFile;
    MemberSelection selection(args.members);
    while (ReadMemberHeader(input.extractor, header)) {
        if (selection.Chooses(header)) {
            PrintMember(header, args);
            ++members;
            packed += header.packedSize;
            original += header.originalSize;
        }
        if (!SeekNextHeader(input.extractor, file.Tell(), header)) break;
    }
    if (!args.tsv)
        std::printf("%" PRIu32 " member%s, %" PRIu64 " bytes packed, %" PRIu64 " bytes original\n", members,
                    members == 1 ? "" : "s", packed, original);
    std::fflush(stdout);
    const int status = ReportArchiveEnd("list", args.file, input.extractor);
    return selection.ReportUnmatched("list") ? 1 : status;
}
