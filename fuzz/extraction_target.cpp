// Fuzz target: the whole extraction worker on any package or archive.
//
// The worker runs in an empty folder `dest` of a sandbox folder that holds nothing else
// but a sentinel file; the package lies in a folder of its own. Checked beyond memory
// safety: afterwards the sandbox holds `dest` and the unchanged sentinel and nothing
// else, the package folder holds the package alone, `dest` holds no symbolic link, and
// every member path the worker announces sanitises to a safe relative path.
#include <dirent.h>
#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <string>

#include "archive/extractor.h"
#include "archive/extraction_worker.h"
#include "archive/paths.h"
#include "decode/decode_state.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "archive/config_reader.h"
#include "package/config_block.h"

namespace fuzz {

namespace {

const char SentinelText[] = "sentinel";

// A few bytes of header may declare gigabytes; files are cut at this size (the write
// fails and the worker reports it) so that each input runs in milliseconds.
constexpr rlim_t FileSizeLimit = 4u << 20;

// Holds the file size limit for the worker's run and restores the process's own after.
class FileSizeLimitScope {
public:
    FileSizeLimitScope() {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        if (limited.rlim_cur == RLIM_INFINITY || limited.rlim_cur > FileSizeLimit) limited.rlim_cur = FileSizeLimit;
        ::setrlimit(RLIMIT_FSIZE, &limited);
        savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimitScope() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedHandler_);
    }

private:
    rlimit saved_{};
    void (*savedHandler_)(int) = nullptr;
};

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.insert(name);
        }
        ::closedir(dir);
    }
    return names;
}

int symbolicLinks = 0;

int CountLink(const char*, const struct stat*, int type, struct FTW*) {
    if (type == FTW_SL || type == FTW_SLN) ++symbolicLinks;
    return 0;
}

void CheckAnnouncedPath(void*, const WideChar* path) {
    WideString sanitised(path);
    SanitizeMemberPath(sanitised, u'/');
    FUZZ_CHECK(IsSafeRelativePath(sanitised));
}

struct Sandbox {
    std::string root, dest, sentinel, packageFolder, package;

    Sandbox() {
        root = ScratchRoot() + "/sandbox";
        dest = root + "/dest";
        sentinel = root + "/sentinel";
        packageFolder = ScratchRoot() + "/package";
        package = packageFolder + "/input";
        ::mkdir(root.c_str(), 0755);
        ::mkdir(packageFolder.c_str(), 0755);
        WriteBytes(sentinel, reinterpret_cast<const uint8_t*>(SentinelText), sizeof SentinelText);
    }

    void Reset() {
        if (::access(dest.c_str(), F_OK) == 0) RemoveTree(dest);
        FUZZ_CHECK(::mkdir(dest.c_str(), 0755) == 0);
    }

    void CheckUntouched() {
        FUZZ_CHECK((Entries(root) == std::set<std::string>{"dest", "sentinel"}));
        FUZZ_CHECK((Entries(packageFolder) == std::set<std::string>{"input"}));
        char text[sizeof SentinelText] = {};
        FILE* file = std::fopen(sentinel.c_str(), "rb");
        FUZZ_CHECK(file != nullptr);
        if (!file) return;
        size_t got = std::fread(text, 1, sizeof text, file);
        bool more = std::fgetc(file) != EOF;
        std::fclose(file);
        FUZZ_CHECK(got == sizeof SentinelText && !more && std::string(text) == SentinelText);
        symbolicLinks = 0;
        ::nftw(dest.c_str(), CountLink, 16, FTW_PHYS);
        FUZZ_CHECK(symbolicLinks == 0);
    }
};

}  // namespace

void RunExtractionTarget(const uint8_t* data, size_t size) {
    if (size < 1) return;
    static Sandbox sandbox;
    InstallSilentFrontEnd(CheckAnnouncedPath);

    sandbox.Reset();
    FUZZ_CHECK(WriteBytes(sandbox.package, data + 1, size - 1));
    char previous[4096];
    FUZZ_CHECK(::getcwd(previous, sizeof previous) != nullptr);
    FUZZ_CHECK(::chdir(sandbox.dest.c_str()) == 0);

    decodeState.keepRunning.store(1);
    decodeState.progressTotal = decodeState.progressBase = 0;
    {
        FileSizeLimitScope limit;
        Extractor extractor;
        extractor.packageFile = new FileHandle;
        FUZZ_CHECK(extractor.packageFile->Open(WidePath(sandbox.package).c_str(), FileAccess::Read,
                                               FileDisposition::OpenExisting));
        bool withBlock = data[0] & 1;
        if (!withBlock || ReadConfigBlock(*extractor.packageFile, extractor.config)) {
            extractor.destination.Assign(WidePath(sandbox.dest).c_str());
            ExtractionWorker(&extractor);
        }
    }
    FUZZ_CHECK(::chdir(previous) == 0);
    sandbox.CheckUntouched();
}

}  // namespace fuzz
