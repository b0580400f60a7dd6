// Checks an existing archive before it goes into a package as it is.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ArchiveSummary {
    uint64_t members = 0;
    uint64_t totalOriginal = 0;
    std::vector<std::u16string> paths;  // as read, folders with a trailing '/'
    // Names that climb out of the destination, that Windows refuses, or that Windows takes
    // for another member's: the stub extracts them changed, or one over the other.
    std::vector<std::string> warnings;
};

// Every header must read as the stub reads it, every member's data must be there (and,
// with `decode`, decode to its CRC-16), and the end mark must follow the last member.
// Empty text or the problem.
std::string CheckExistingArchive(const std::string& path, bool decode, ArchiveSummary& summary);
