// Writes a one-member -lh1- archive of a file, for the decoding benchmark (no installed
// archiver writes -lh1-). usage: kavisfx_lh1_pack OUT.lzh IN
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/lh1_encoder.h"
#include "tools/pack/crc16.h"
#include "tools/pack/member_header.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUT.lzh IN\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<uint8_t> packed = EncodeLh1(data);
    MemberHeaderFields fields;
    std::snprintf(fields.method, sizeof fields.method, "-lh1-");
    fields.packedSize = static_cast<uint32_t>(packed.size());
    fields.originalSize = static_cast<uint32_t>(data.size());
    fields.crc = UpdateCrc16(0, data.data(), data.size());
    const std::string path = argv[2];
    fields.name = std::u16string(path.begin() + static_cast<long>(path.rfind('/') + 1), path.end());
    std::vector<uint8_t> archive = BuildMemberHeader(fields);
    archive.insert(archive.end(), packed.begin(), packed.end());
    archive.push_back(0);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(archive.data(), 1, archive.size(), out) != archive.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "%s: cannot write\n", argv[1]);
        return 1;
    }
    return 0;
}
