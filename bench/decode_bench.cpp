// Decoding speed of whole members: every member of each archive is decoded through
// DecodeMember into /dev/null, best of --repeat runs, and reported in MB/s of output
// (10^6 bytes per second). Time is the process's CPU time (user and system), which a
// busy machine disturbs less than the wall clock. --plain times the per-symbol driver instead of the fast
// loops for -lh1- and -lh4- to -lh7-.
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/extractor.h"
#include "platform/file_handle.h"
#include "archive/lzh_header.h"
#include "decode/crc16.h"
#include "decode/decode_member.h"
#include "decode/decode_state.h"

namespace {

std::u16string Wide(const char* text) {
    std::u16string wide;
    for (; *text; ++text) wide.push_back(static_cast<unsigned char>(*text));
    return wide;
}

double CpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// Seconds for one pass over the archive; false when it cannot be read or a CRC is wrong.
bool DecodeArchive(const char* path, double& seconds, uint64_t& bytes, std::string& methods) {
    Extractor extractor;
    extractor.packageFile = new FileHandle;
    if (!extractor.packageFile->Open(Wide(path).c_str(), FileAccess::Read, FileDisposition::OpenExisting)) return false;
    FileHandle sink;
    if (!sink.Open(u"/dev/null", FileAccess::Write, FileDisposition::OpenExisting)) return false;
    LzhHeader header;
    seconds = 0;
    bytes = 0;
    methods.clear();
    while (ReadMemberHeader(extractor, header)) {
        MethodId method = LookUpMethod(header.method);
        uint64_t dataStart = extractor.packageFile->Tell();
        if (methods.find(header.method, 0, 5) == std::string::npos) methods.append(header.method, 5);
        double start = CpuSeconds();
        uint32_t crc = DecodeMember(*extractor.packageFile, &sink, header.originalSize, header.packedSize, method);
        seconds += CpuSeconds() - start;
        if (header.hasCrc && crc != header.dataCrc) {
            std::fprintf(stderr, "%s: CRC mismatch\n", path);
            return false;
        }
        bytes += header.originalSize;
        extractor.packageFile->Seek(static_cast<int64_t>(dataStart + header.packedSize), SeekOrigin::Begin);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        if (std::strcmp(argv[first], "--plain") == 0) {
            UseFastLoops(false);
        } else if (std::strcmp(argv[first], "--repeat") == 0 && first + 1 < argc) {
            repeat = std::atoi(argv[++first]);
        } else {
            std::fprintf(stderr, "usage: %s [--plain] [--repeat N] ARCHIVE...\n", argv[0]);
            return 2;
        }
    }
    MakeCrcTable();
    int status = 0;
    for (int i = first; i < argc; ++i) {
        double best = 0;
        uint64_t bytes = 0;
        std::string methods;
        for (int run = 0; run < repeat; ++run) {
            double seconds = 0;
            if (!DecodeArchive(argv[i], seconds, bytes, methods)) {
                status = 1;
                break;
            }
            if (run == 0 || seconds < best) best = seconds;
        }
        if (best > 0) std::printf("%s\t%s\t%llu\t%.4f\t%.1f\n", argv[i], methods.c_str(),
                                  static_cast<unsigned long long>(bytes), best, bytes / best / 1e6);
    }
    return status;
}
