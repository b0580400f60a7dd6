// The folders one extraction run has made, known by the hashes of their paths. A folder
// the run made held nothing before; what stands in it since is what the run put there,
// files and these folders, so that an entry of such a folder that is none of these folders
// is a file of this run or nothing: neither a folder nor the package. (Another process may
// change the folder meanwhile, as it may between any look at an entry and the rename that
// follows; what it puts there is replaced by the rename, or makes it fail, never followed.)
#pragma once
#include <cstddef>
#include <cstdint>

// The hash of a relative path: its components, each followed by '/', empty ones skipped,
// so that "a//b" and "a/b/" hash as "a/b"; `folder` is that of the path without its last
// component.
struct PathHashes {
    uint64_t folder, entry;
};
PathHashes HashPath(const char* path, size_t length);
PathHashes HashPath(const char* path);

class MadeFolders {
public:
    MadeFolders() = default;
    MadeFolders(const MadeFolders&) = delete;
    MadeFolders& operator=(const MadeFolders&) = delete;
    ~MadeFolders() { delete[] slots_; }

    void Clear();
    void Add(uint64_t pathHash);
    // Whether the table tells anything: it holds a folder, and every one made since Clear
    // (once one could not be added, none is taken for known).
    bool Knows() const { return used_ != 0 && whole_; }
    // Whether the path lies in a folder the run made, at no folder it made there.
    bool HoldsNoFolderAt(const PathHashes& path) const { return Knows() && Has(path.folder) && !Has(path.entry); }

private:
    bool Has(uint64_t hash) const;
    uint64_t* Find(uint64_t hash) const;
    bool Grow();

    uint64_t* slots_ = nullptr;  // 0 marks a free slot; a hash of 0 is kept as 1
    uint32_t capacity_ = 0;      // 0 or a power of two, at most half used
    uint32_t used_ = 0;
    bool whole_ = true;
};
