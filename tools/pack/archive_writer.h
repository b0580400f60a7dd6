// Writes an LHA archive member by member into an open file: the header, the packed
// data, and the header again once sizes and CRC are known. A member that does not
// shrink is stored as -lh0- instead.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "tools/pack/file_tree.h"
#include "tools/pack/lzh_encoder.h"
#include "tools/pack/member_header.h"

enum class PackMethod { Lh0, Lh5, Lh6, Lh7 };

class ArchiveWriter {
public:
    // `out` stands where the archive begins; progress hears of every chunk read.
    ArchiveWriter(std::FILE* out, PackMethod method, EncodeLevel level,
                  std::function<void(uint64_t bytes)> progress = nullptr);

    // Each returns an empty text on success, else what went wrong.
    std::string AddFolder(const PackEntry& folder);
    // Reads the file the walk saw: a regular file with its device and inode, opened
    // without waiting (a FIFO put in its place must not stall the run) and, unless the
    // walk followed a link to it, without following one.
    std::string AddFile(const PackEntry& file);
    // Writes the end mark and cuts the file there.
    std::string Finish();

    uint64_t MemberCount() const { return members_; }

private:
    std::string WriteHeader(const MemberHeaderFields& fields, long long at);
    std::string StoreFrom(std::FILE* in, long long dataAt, uint64_t size, uint16_t& crc);

    std::FILE* out_;
    PackMethod method_;
    EncodeLevel level_;
    std::function<void(uint64_t)> progress_;
    uint64_t members_ = 0;
};

// Splits "a/b/c" into the folder part "a/b/" and the name "c".
void SplitMemberPath(const std::u16string& path, std::u16string& directory, std::u16string& name);
