// Options, input files and display text shared by the reading commands.
#include "tools/tool_support.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_handle.h"
#include "archive/config_reader.h"
#include "package/config_block.h"
#include "platform/posix/codepage.h"
#include "platform/posix/utf8.h"
#include "platform/system.h"
#include "tools/pack/stub_image.h"
#include "tools/suggestion.h"
#include "tools/terminal_text.h"

namespace {

struct OptionName {
    const char* name;
    uint32_t option;
};

// The options a command may take, for the nearest one to a mistyped option.
const OptionName OptionNames[] = {
    {"--help", ~0u},
    {"--tsv", OptionTsv},
    {"--utc", OptionUtc},
    {"-C", OptionDirectory},
    {"--codepage", OptionCodePage},
    {"--overwrite", OptionExisting},
    {"--skip-existing", OptionExisting},
    {"--keep-newer", OptionExisting},
    {"--stdout", OptionStdout},
};

std::string NearestOption(const std::string& arg, uint32_t allowed) {
    std::vector<std::string> names;
    for (const OptionName& option : OptionNames)
        if (option.option & allowed) names.push_back(option.name);
    return DidYouMean(arg, names);
}

}  // namespace

bool ParseToolArguments(const char* command, int argc, char** argv, uint32_t allowed, ToolArguments& out) {
    const char* existingOption = nullptr;
    bool onlyNames = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        auto takeValue = [&](const char* name) -> const char* {
            if (i + 1 < argc) return argv[++i];
            std::fprintf(stderr, "kavisfx %s: %s needs a value\n", command, name);
            return nullptr;
        };
        auto existing = [&](ExistingFiles mode) {
            if (existingOption && out.existing != mode) {
                std::fprintf(stderr, "kavisfx %s: %s and %s contradict each other\n", command, existingOption, arg);
                return false;
            }
            existingOption = arg;
            out.existing = mode;
            return true;
        };
        if (onlyNames || arg[0] != '-' || arg[1] == 0) {
            if (out.file.empty()) {
                out.file = arg;
            } else if (allowed & OptionMembers) {
                out.members.push_back(arg);
            } else {
                std::fprintf(stderr, "kavisfx %s: one file only ('%s' is one too many)\n", command,
                             DisplayText(std::string(arg)).c_str());
                return false;
            }
        } else if (!std::strcmp(arg, "--")) {
            onlyNames = true;
        } else if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            out.help = true;
        } else if ((allowed & OptionTsv) && !std::strcmp(arg, "--tsv")) {
            out.tsv = true;
        } else if ((allowed & OptionUtc) && !std::strcmp(arg, "--utc")) {
            out.utc = true;
        } else if ((allowed & OptionStdout) && (!std::strcmp(arg, "--stdout") || !std::strcmp(arg, "-c"))) {
            out.toStdout = true;
        } else if ((allowed & OptionDirectory) && !std::strcmp(arg, "-C")) {
            const char* value = takeValue("-C");
            if (!value) return false;
            out.directory = value;
        } else if ((allowed & OptionExisting) && !std::strcmp(arg, "--overwrite")) {
            if (!existing(ExistingFiles::Replace)) return false;
        } else if ((allowed & OptionExisting) && !std::strcmp(arg, "--skip-existing")) {
            if (!existing(ExistingFiles::Skip)) return false;
        } else if ((allowed & OptionExisting) && !std::strcmp(arg, "--keep-newer")) {
            if (!existing(ExistingFiles::KeepNewer)) return false;
        } else if ((allowed & OptionCodePage) && !std::strcmp(arg, "--codepage")) {
            const char* value = takeValue("--codepage");
            if (!value) return false;
            if (!SetMultiByteCodePage(value)) {
                std::fprintf(stderr, "kavisfx %s: unknown code page '%s'\n", command,
                             DisplayText(std::string(value)).c_str());
                return false;
            }
        } else {
            std::fprintf(stderr, "kavisfx %s: unknown option '%s'%s (see --help)\n", command,
                         DisplayText(std::string(arg)).c_str(), NearestOption(arg, allowed).c_str());
            return false;
        }
    }
    if (!out.help && out.file.empty()) {
        std::fprintf(stderr, "kavisfx %s: no file given (see --help)\n", command);
        return false;
    }
    // What goes to standard output is the members' data: there is no folder to write to.
    if (out.toStdout && (!out.directory.empty() || existingOption)) {
        std::fprintf(stderr, "kavisfx %s: --stdout writes no files, so it takes neither -C nor %s\n", command,
                     existingOption ? existingOption : "-C");
        return false;
    }
    return true;
}

// 1 when the file is a package (a Windows program with the marker, longer than the
// block's offset), 0 when not, -1 when it cannot be read.
static int ReadPackageMark(FileHandle& file) {
    // The marker's last byte is a space that some writers leave out.
    constexpr size_t MarkerLength = sizeof StubMarker - 2;
    uint8_t image[StubMarkerOffset + MarkerLength] = {};
    int64_t got = file.Read(sizeof image, image);
    if (got < 0) return -1;
    return got == sizeof image && image[0] == 'M' && image[1] == 'Z' &&
           !std::memcmp(image + StubMarkerOffset, StubMarker, MarkerLength) && file.size > ConfigBlockOffset;
}

bool HoldsPackageOrArchive(const std::string& path) {
    FileHandle file;
    WideString widePath = WideFromUtf8(path);
    if (!file.Open(widePath.Text(), FileAccess::Read, FileDisposition::OpenExisting)) return false;
    const int package = ReadPackageMark(file);
    SfxConfig config;
    return package >= 0 && file.Seek(package ? ConfigBlockOffset : 0, SeekOrigin::Begin) &&
           (!package || ReadConfigBlock(file, config)) && StartsLikeAnArchive(file);
}

static std::string ErrorText(uint32_t code) {
    return DisplayText(SystemErrorText(code).Text());
}

int OpenArchiveInput(const char* command, const std::string& path, ArchiveInput& input, bool packageOnly) {
    const std::string shown = DisplayText(path);
    const char* name = shown.c_str();
    WideString widePath = WideFromUtf8(path);
    auto* file = new FileHandle;
    input.extractor.packageFile = file;
    if (!file->Open(widePath.Text(), FileAccess::Read, FileDisposition::OpenExisting)) {
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command, name, ErrorText(LastErrorCode()).c_str());
        return 2;
    }
    int got = ReadPackageMark(*file);
    if (got < 0) {
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command, name, ErrorText(LastErrorCode()).c_str());
        return 2;
    }
    input.isPackage = got == 1;
    if (packageOnly && !input.isPackage) {
        std::fprintf(stderr, "kavisfx %s: %s: not a package (no \"LHA's SFX\" marker in a Windows program)\n",
                     command, name);
        return 2;
    }
    if (!file->Seek(input.isPackage ? ConfigBlockOffset : 0, SeekOrigin::Begin)) {
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command, name, ErrorText(LastErrorCode()).c_str());
        return 2;
    }
    if (input.isPackage && !ReadConfigBlock(*file, input.extractor.config)) {
        std::fprintf(stderr, "kavisfx %s: %s: the configuration block is cut short\n", command, name);
        return 1;
    }
    if (!StartsLikeAnArchive(*file)) {
        std::fprintf(stderr, "kavisfx %s: %s: not an LHA archive or package\n", command, name);
        return 2;
    }
    return 0;
}

bool StartsLikeAnArchive(FileHandle& file) {
    const uint64_t start = file.Tell();
    if (start >= file.size) return false;
    LzhHeader header;
    HeaderRead first = ReadHeader(file, header);
    file.Seek(static_cast<int64_t>(start), SeekOrigin::Begin);
    return first == HeaderRead::Member || first == HeaderRead::End;
}

int ReportArchiveEnd(const char* command, const std::string& path, const Extractor& extractor) {
    if (extractor.archiveEnd == HeaderRead::Cut) {
        std::fprintf(stderr, "kavisfx %s: %s: damaged archive: what follows the last member is no readable header\n",
                     command, DisplayText(path).c_str());
        return 1;
    }
    return extractor.archiveEnd == HeaderRead::UnknownShape ? 1 : 0;
}

namespace {

std::string Counted(uint64_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

}  // namespace

// Decimal units as file managers show them.
std::string SizeText(uint64_t bytes) {
    if (bytes < 1000) return Counted(bytes, "byte");
    static const char* const Units[] = {"kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1000;
    size_t unit = 0;
    while (value >= 999.5 && unit + 1 < sizeof Units / sizeof *Units) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 9.95 ? "%.1f %s" : "%.0f %s", value, Units[unit]);
    return text;
}

std::string SummaryLine(uint32_t files, uint32_t folders, uint64_t bytes, uint32_t failed, bool damagedArchive,
                        const std::string& note) {
    std::string line = Counted(files, "file") + ", " + Counted(folders, "folder") + ", " + SizeText(bytes) + ": ";
    if (failed) line += std::to_string(failed) + " failed";
    if (damagedArchive) line += failed ? ", archive damaged" : "archive damaged";
    if (!failed && !damagedArchive) line += "all OK";
    if (!note.empty()) line += "; " + note;
    return line;
}

std::string DisplayText(const WideChar* text) { return TerminalText(Utf8Text(text).c_str()); }

std::string DisplayText(const std::string& utf8) { return TerminalText(utf8); }

std::string StoredPath(const LzhHeader& header) {
    std::string path = Utf8Text(header.path.Text()).c_str();
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::string DisplayMethod(const char method[5]) {
    std::string out(method, 5);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return out;
}

WideString WideFromUtf8(const std::string& text) {
    WideString out;
    AssignFromUtf8(out, text.c_str());
    return out;
}
