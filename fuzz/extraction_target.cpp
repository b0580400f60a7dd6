// Fuzz target: the whole extraction worker on any package or archive.
//
// The worker runs in an empty folder `dest` of a sandbox folder that holds nothing else
// but a sentinel file; the package lies in a folder of its own. Checked beyond memory
// safety: afterwards the volume holds nothing outside `dest` but the sandbox, the
// unchanged sentinel and the unchanged package, and every member path the worker
// announces sanitises to a safe relative path. (The memory volume has no links, so no
// member can leave one behind.)
#include <algorithm>
#include <string>

#include "archive/extractor.h"
#include "archive/extraction_worker.h"
#include "archive/paths.h"
#include "decode/decode_state.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "archive/config_reader.h"
#include "package/config_block.h"
#include "platform/memory/memory_volume.h"
#include "platform/system.h"

namespace fuzz {

namespace {

const uint8_t SentinelText[] = "sentinel";
const std::u16string Sandbox = u"/sandbox", Dest = u"/sandbox/dest", Sentinel = u"/sandbox/sentinel",
                     PackageFolder = u"/package", Package = u"/package/input";

// A few bytes of header may declare gigabytes; the volume holds this much beside the
// package (a write beyond fails and the worker reports it) so that each input runs in
// milliseconds.
constexpr uint64_t OutputRoom = 256u << 10;

void CheckAnnouncedPath(void*, const WideChar* path) {
    WideString sanitised(path);
    SanitizeMemberPath(sanitised, u'/');
    FUZZ_CHECK(IsSafeRelativePath(sanitised));
}

bool InsideDest(const std::u16string& path) {
    return path.size() > Dest.size() && path.starts_with(Dest) && path[Dest.size()] == u'/';
}

bool Holds(const MemoryFile& file, const uint8_t* bytes, size_t size) {
    return file.bytes.size() == size && std::equal(bytes, bytes + size, file.bytes.begin());
}

void CheckUntouched(const uint8_t* package, size_t packageSize) {
    const MemoryVolume& volume = TheMemoryVolume();
    FUZZ_CHECK(volume.folders.count(Dest) == 1);
    for (const std::u16string& folder : volume.folders)
        FUZZ_CHECK(folder == u"/" || folder == Sandbox || folder == Dest || folder == PackageFolder ||
                   InsideDest(folder));
    FUZZ_CHECK(volume.files.count(Sentinel) == 1 && volume.files.count(Package) == 1);
    for (const auto& [path, file] : volume.files)
        FUZZ_CHECK((path == Sentinel && Holds(file, SentinelText, sizeof SentinelText)) ||
                   (path == Package && Holds(file, package, packageSize)) || InsideDest(path));
}

}  // namespace

void RunExtractionTarget(const uint8_t* data, size_t size) {
    if (size < 1) return;
    InstallSilentFrontEnd(CheckAnnouncedPath);
    ResetMemoryVolume();
    MemoryVolume& volume = TheMemoryVolume();
    volume.folders.insert({Sandbox, Dest, PackageFolder});
    FUZZ_CHECK(PutMemoryFile(Sentinel, SentinelText, sizeof SentinelText));
    FUZZ_CHECK(PutMemoryFile(Package, data + 1, size - 1));
    volume.capacity = volume.used + OutputRoom;
    FUZZ_CHECK(SetCurrentFolder(Dest.c_str()));

    keepRunning.store(1);
    decodeState.progressTotal = decodeState.progressBase = 0;
    {
        Extractor extractor;
        extractor.packageFile = new FileHandle;
        FUZZ_CHECK(extractor.packageFile->Open(Package.c_str(), FileAccess::Read, FileDisposition::OpenExisting));
        bool withBlock = data[0] & 1;
        if (!withBlock || ReadConfigBlock(*extractor.packageFile, extractor.config)) {
            extractor.destination.Assign(Dest.c_str());
            ExtractionWorker(&extractor);
        }
    }
    CheckUntouched(data + 1, size - 1);
}

}  // namespace fuzz
