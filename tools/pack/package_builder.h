// Assembles a package, or a bare archive, in a temporary file beside the output and
// renames it into place only when everything is written: a failed run leaves no
// half-written package behind.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/pack/archive_writer.h"
#include "tools/pack/config_writer.h"
#include "tools/pack/file_tree.h"

struct PackageRequest {
    std::string output;
    bool archiveOnly = false;          // no stub and no block: a plain .lzh
    std::vector<uint8_t> stub;         // prepared: StubImageSize bytes
    PackConfig config;
    std::vector<PackEntry> entries;    // packed by our encoder ...
    std::string existingArchive;       // ... or this archive, appended as it is
    PackMethod method = PackMethod::Lh7;
    EncodeLevel level = EncodeLevel::Default;
    // Hears of every chunk read: the member in hand and the bytes of all members.
    std::function<void(const std::u16string& member, uint64_t done, uint64_t total)> progress;
};

// Empty text on success, else the problem, naming the file concerned.
std::string BuildPackage(const PackageRequest& request);

// Removes the temporary file of a run cut short by a signal (async-signal-safe).
void RemovePendingOutput();
