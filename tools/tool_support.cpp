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

bool ParseToolArguments(const char* command, int argc, char** argv, uint32_t allowed, ToolArguments& out) {
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        auto takeValue = [&](const char* name) -> const char* {
            if (i + 1 < argc) return argv[++i];
            std::fprintf(stderr, "kavisfx %s: %s needs a value\n", command, name);
            return nullptr;
        };
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            out.help = true;
        } else if ((allowed & OptionTsv) && !std::strcmp(arg, "--tsv")) {
            out.tsv = true;
        } else if ((allowed & OptionDirectory) && !std::strcmp(arg, "-C")) {
            const char* value = takeValue("-C");
            if (!value) return false;
            out.directory = value;
        } else if ((allowed & OptionExisting) && !std::strcmp(arg, "--overwrite")) {
            out.existing = ExistingFiles::Replace;
        } else if ((allowed & OptionExisting) && !std::strcmp(arg, "--skip-existing")) {
            out.existing = ExistingFiles::Skip;
        } else if ((allowed & OptionExisting) && !std::strcmp(arg, "--keep-newer")) {
            out.existing = ExistingFiles::KeepNewer;
        } else if ((allowed & OptionCodePage) && !std::strcmp(arg, "--codepage")) {
            const char* value = takeValue("--codepage");
            if (!value) return false;
            if (!SetMultiByteCodePage(value)) {
                std::fprintf(stderr, "kavisfx %s: unknown code page '%s'\n", command, value);
                return false;
            }
        } else if (arg[0] == '-' && arg[1] != 0) {
            std::fprintf(stderr, "kavisfx %s: unknown option '%s' (see --help)\n", command, arg);
            return false;
        } else if (out.file.empty()) {
            out.file = arg;
        } else {
            std::fprintf(stderr, "kavisfx %s: one file only ('%s' is one too many)\n", command, arg);
            return false;
        }
    }
    if (!out.help && out.file.empty()) {
        std::fprintf(stderr, "kavisfx %s: no file given (see --help)\n", command);
        return false;
    }
    return true;
}

static std::string ErrorText(uint32_t code) {
    return DisplayText(SystemErrorText(code).Text());
}

int OpenArchiveInput(const char* command, const std::string& path, ArchiveInput& input, bool packageOnly) {
    const char* name = path.c_str();
    WideString widePath = WideFromUtf8(path);
    auto* file = new FileHandle;
    input.extractor.packageFile = file;
    if (!file->Open(widePath.Text(), FileAccess::Read, FileDisposition::OpenExisting)) {
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command, name, ErrorText(LastErrorCode()).c_str());
        return 2;
    }
    // The marker's last byte is a space that some writers leave out.
    constexpr size_t MarkerLength = sizeof StubMarker - 2;
    uint8_t image[StubMarkerOffset + MarkerLength] = {};
    int64_t got = file->Read(sizeof image, image);
    if (got < 0) {
        std::fprintf(stderr, "kavisfx %s: %s: %s\n", command, name, ErrorText(LastErrorCode()).c_str());
        return 2;
    }
    input.isPackage = got == sizeof image && image[0] == 'M' && image[1] == 'Z' &&
                      !std::memcmp(image + StubMarkerOffset, StubMarker, MarkerLength) &&
                      file->size > ConfigBlockOffset;
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
                     command, path.c_str());
        return 1;
    }
    return extractor.archiveEnd == HeaderRead::UnknownShape ? 1 : 0;
}

namespace {

std::string Counted(uint64_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

// Decimal units as file managers show them: "512 bytes", "3.4 kB", "204 MB".
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

}  // namespace

std::string SummaryLine(uint32_t files, uint32_t folders, uint64_t bytes, uint32_t failed, bool damagedArchive,
                        const std::string& note) {
    std::string line = Counted(files, "file") + ", " + Counted(folders, "folder") + ", " + SizeText(bytes) + ": ";
    if (failed) line += std::to_string(failed) + " failed";
    if (damagedArchive) line += failed ? ", archive damaged" : "archive damaged";
    if (!failed && !damagedArchive) line += "all OK";
    if (!note.empty()) line += "; " + note;
    return line;
}

std::string DisplayText(const WideChar* text) {
    // C1 controls too: terminals take U+009B as an escape sequence's start, as they do ESC.
    WideString shown(text);
    for (WideChar* at = shown.Data(); at && *at; ++at)
        if (*at < 0x20 || (*at >= 0x7F && *at <= 0x9F)) *at = u'?';
    return Utf8Text(shown.Text()).c_str();
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
