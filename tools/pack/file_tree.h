// The members of a package from the paths on the command line: each folder before its
// contents, the entries of a folder in byte order of their names, so that the same tree
// always gives the same archive.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

struct PackEntry {
    std::string hostPath;
    std::u16string memberPath;  // folders separated by '/'
    bool folder = false;
    uint64_t size = 0;
    int32_t modifiedTime = 0;   // seconds since 1970, clamped
    uint16_t unixMode = 0;      // file type and permission bits, without set-id and sticky bits
    // The file the walk saw, so that the packer reads that one and no other put in its place.
    dev_t device = 0;
    ino_t inode = 0;
    bool throughLink = false;   // hostPath is a link that the walk followed
};

struct TreeOptions {
    std::optional<int64_t> newestTime;  // SOURCE_DATE_EPOCH: later times are set back to it
    bool followLinks = false;           // pack what links inside folders point to
    // Globs (fnmatch, '*' matching '/' too) over the path below a folder given on the
    // command line, and over each name: what matches is left out, a folder with its contents.
    std::vector<std::string> excludes;
};

struct TreeReport {
    std::vector<std::string> skippedLinks;     // links inside folders, when they are not followed
    std::vector<std::string> repeatedFolders;  // folders met again through links, packed once
    bool unreadable = false;                   // the problem is a file that cannot be read or is missing
};

// A path naming a folder packs the folder under its own name; a path ending in '/'
// (or ".") packs only what the folder holds. Links named on the command line are
// followed; links met inside folders are skipped, or followed with `followLinks`.
// Returns an empty text or the problem, naming the file: the first unreadable or missing
// entry, link to nothing, special file or folder loop; else every name Windows does not
// accept, holding U+FFFF (the folder separator of the UTF-16 names) or not UTF-8, and
// every two names that Windows would take for one, all in one list.
std::string CollectEntries(const std::vector<std::string>& paths, const TreeOptions& options,
                           std::vector<PackEntry>& out, TreeReport& report);
