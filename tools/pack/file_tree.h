// The members of a package from the paths on the command line: each folder before its
// contents, the entries of a folder in byte order of their names, so that the same tree
// always gives the same archive.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct PackEntry {
    std::string hostPath;
    std::u16string memberPath;  // folders separated by '/'
    bool folder = false;
    uint64_t size = 0;
    int32_t modifiedTime = 0;   // seconds since 1970, clamped
};

struct TreeOptions {
    std::optional<int64_t> newestTime;  // SOURCE_DATE_EPOCH: later times are set back to it
    bool followLinks = false;           // pack what links inside folders point to
};

struct TreeReport {
    std::vector<std::string> skippedLinks;  // links inside folders, when they are not followed
    bool unreadable = false;                // the problem is a file that cannot be read or is missing
};

// A path naming a folder packs the folder under its own name; a path ending in '/'
// (or ".") packs only what the folder holds. Links named on the command line are
// followed; links met inside folders are skipped, or followed with `followLinks`.
// Returns an empty text or the first problem, naming the file: unreadable or missing
// entries, links to nothing, names Windows does not accept, names holding U+FFFF (the
// folder separator of the UTF-16 names), two names that Windows would take for one,
// special files, and folder loops.
std::string CollectEntries(const std::vector<std::string>& paths, const TreeOptions& options,
                           std::vector<PackEntry>& out, TreeReport& report);
