// kavisfx list: one line per member, as the header reader sees it.
#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "archive/extraction_worker.h"
#include "archive/lzh_header.h"
#include "tools/commands.h"
#include "tools/tool_front_end.h"
#include "tools/tool_support.h"

namespace {

const char Help[] =
    "usage: kavisfx list [--tsv] [--codepage NAME] FILE\n"
    "\n"
    "Lists the members of an LHA archive or of a package: method, packed size, original\n"
    "size, CRC-16, header level, modification time (UTC) and the path as stored.\n"
    "\n"
    "  --tsv            tab-separated columns for scripts: method, packed size, original\n"
    "                   size, CRC-16 (4 lower-case hex digits, or -), level, modification\n"
    "                   time in Unix seconds (- when the archive has none), path (UTF-8);\n"
    "                   no heading\n"
    "  --codepage NAME  code page of multibyte names (an iconv name; default CP932)\n"
    "\n"
    "Control characters in names are shown as '?'.\n"
    "Exit status: 0 listed, 1 damaged archive (a header cut short or of unknown shape),\n"
    "2 bad usage, unreadable file, or not an LHA archive or package.\n";

std::string UtcTime(int64_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    struct tm parts;
    char text[32];
    if (!gmtime_r(&t, &parts) || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts))
        return "?";
    return text;
}

std::string CrcText(const LzhHeader& header) {
    if (!header.hasCrc) return "-";
    char text[8];
    std::snprintf(text, sizeof text, "%04x", header.dataCrc);
    return text;
}

void PrintMember(const LzhHeader& header, bool tsv) {
    std::string method = DisplayMethod(header.method), path = DisplayText(header.path.Text());
    if (tsv) {
        std::string time = header.hasTime ? std::to_string(header.modifiedTime) : "-";
        std::printf("%s\t%" PRIu64 "\t%" PRIu64 "\t%s\t%u\t%s\t%s\n", method.c_str(), header.packedSize,
                    header.originalSize, CrcText(header).c_str(), header.level, time.c_str(), path.c_str());
        return;
    }
    std::printf("%-6s %10" PRIu64 " %10" PRIu64 "  %-4s  %u  %-19s  %s\n", method.c_str(), header.packedSize,
                header.originalSize, CrcText(header).c_str(), header.level,
                header.hasTime ? UtcTime(header.modifiedTime).c_str() : "-",
                path.c_str());
}

}  // namespace

int RunList(int argc, char** argv) {
    ToolArguments args;
    if (!ParseToolArguments("list", argc, argv, OptionTsv | OptionCodePage, args)) return 2;
    if (args.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    ArchiveInput input;
    if (int status = OpenArchiveInput("list", args.file, input)) return status;

    ToolFrontEnd frontEnd("list", args.file, false);
    if (!args.tsv) std::printf("%-6s %10s %10s  %-4s  %s  %-19s  %s\n", "method", "packed", "original", "crc", "l",
                               "modified (UTC)", "path");
    LzhHeader header;
    uint32_t members = 0;
    uint64_t packed = 0, original = 0;
    FileHandle& file = *input.extractor.packageFile;
    while (ReadMemberHeader(input.extractor, header)) {
        PrintMember(header, args.tsv);
        ++members;
        packed += header.packedSize;
        original += header.originalSize;
        if (!SeekNextHeader(input.extractor, file.Tell(), header)) break;
    }
    if (!args.tsv)
        std::printf("%" PRIu32 " member%s, %" PRIu64 " bytes packed, %" PRIu64 " bytes original\n", members,
                    members == 1 ? "" : "s", packed, original);
    std::fflush(stdout);
    return ReportArchiveEnd("list", args.file, input.extractor);
}
