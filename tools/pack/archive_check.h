// Checks an existing archive before it goes into a package as it is.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ArchiveSummary {
    uint64_t members = 0;
    uint64_t totalOriginal = 0;
    std::vector<std::u16string> paths;  // as read, folders with a trailing '/'
};

// Every header must read as the stub reads it, every member's data must be there, and
// the end mark must follow the last member. Empty text or the problem.
std::string CheckExistingArchive(const std::string& path, ArchiveSummary& summary);
