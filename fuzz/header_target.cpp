// Fuzz target: the configuration block, the header walk and the pre-scan over any bytes.
//
// Checked beyond memory safety: every header the reader accepts leaves the file inside
// it, its path sanitises to a safe relative path (with either separator), and the
// pre-scan leaves the file where it found it.
#include <string>

#include "archive/extractor.h"
#include "archive/extraction_worker.h"
#include "archive/lzh_header.h"
#include "archive/paths.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "archive/config_reader.h"
#include "package/config_block.h"
#include "platform/memory/memory_volume.h"

namespace fuzz {

namespace {

// More headers than any input of the fuzzer's size can hold; a walk that does not end
// by then goes round in a loop.
constexpr int MaxHeaders = 100000;

void CheckSanitisedPath(const WideString& stored) {
    WideString slash(stored);
    SanitizeMemberPath(slash, u'/');
    FUZZ_CHECK(IsSafeRelativePath(slash));
    WideString backslash(stored);
    SanitizeMemberPath(backslash, u'\\');
    FUZZ_CHECK(IsSafeRelativePath(backslash));
    // Sanitising is idempotent: a second pass must not find anything more to remove.
    WideString again(slash);
    SanitizeMemberPath(again, u'/');
    FUZZ_CHECK(WideLength(again.Text()) == WideLength(slash.Text()));
}

void WalkHeaders(Extractor& extractor, uint64_t fileSize) {
    FileHandle& file = *extractor.packageFile;
    const uint64_t start = file.Tell();
    SumOriginalSizes(extractor);
    FUZZ_CHECK(file.Tell() == start);

    LzhHeader header;
    int count = 0;
    while (ReadMemberHeader(extractor, header)) {
        FUZZ_CHECK(++count < MaxHeaders);
        uint64_t dataStart = file.Tell();
        FUZZ_CHECK(dataStart <= fileSize);
        FUZZ_CHECK(header.path.Length() < 2 * HeaderBufferSize);
        CheckSanitisedPath(header.path);
        if (!file.Seek(static_cast<int64_t>(dataStart + header.packedSize), SeekOrigin::Begin)) break;
    }
    FUZZ_CHECK(extractor.archiveEnd != HeaderRead::Member);
}

}  // namespace

void RunHeaderTarget(const uint8_t* data, size_t size) {
    InstallSilentFrontEnd();
    const std::u16string path = u"/header-input";
    ResetMemoryVolume();
    FUZZ_CHECK(PutMemoryFile(path, data, size));

    // The same bytes as a configuration block followed by an archive, and as an archive.
    for (bool withBlock : {true, false}) {
        Extractor extractor;
        extractor.packageFile = new FileHandle;
        FUZZ_CHECK(extractor.packageFile->Open(path.c_str(), FileAccess::Read,
                                               FileDisposition::OpenExisting));
        if (withBlock && !ReadConfigBlock(*extractor.packageFile, extractor.config)) continue;
        WalkHeaders(extractor, size);
    }
}

}  // namespace fuzz
