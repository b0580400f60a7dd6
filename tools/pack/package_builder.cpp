#include "tools/pack/package_builder.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The temporary file's name, kept where a signal handler can reach it.
char pendingPath[4096];
std::atomic<bool> pending{false};

std::string Cause() { return std::strerror(errno); }

std::string TemporaryPathFor(const std::string& output) { return output + ".kavisfx-XXXXXX"; }

std::string WriteArchiveBody(const PackageRequest& request, std::FILE* out) {
    if (!request.existingArchive.empty()) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(request.existingArchive.c_str(), "rb"),
                                                             std::fclose);
        if (!in) return request.existingArchive + ": " + Cause();
        std::vector<uint8_t> chunk(1 << 16);
        while (size_t got = std::fread(chunk.data(), 1, chunk.size(), in.get()))
            if (std::fwrite(chunk.data(), 1, got, out) != got) return request.output + ": " + Cause();
        if (std::ferror(in.get())) return request.existingArchive + ": " + Cause();
        return {};
    }
    uint64_t total = 0, done = 0;
    for (const PackEntry& entry : request.entries) total += entry.size;
    const PackEntry* inHand = nullptr;
    auto progress = [&](uint64_t bytes) {
        done += bytes;
        if (request.progress) request.progress(inHand->memberPath, done, total);
    };
    ArchiveWriter writer(out, request.method, request.level, progress);
    for (const PackEntry& entry : request.entries) {
        inHand = &entry;
        if (request.progress) request.progress(entry.memberPath, done, total);
        std::string error = entry.folder ? writer.AddFolder(entry) : writer.AddFile(entry);
        if (!error.empty()) return entry.hostPath + ": " + error;
    }
    if (std::string error = writer.Finish(); !error.empty()) return request.output + ": " + error;
    return {};
}

std::string WriteAll(const PackageRequest& request, std::FILE* out) {
    if (!request.archiveOnly) {
        std::vector<uint8_t> block = BuildConfigBlock(request.config);
        if (std::fwrite(request.stub.data(), 1, request.stub.size(), out) != request.stub.size() ||
            std::fwrite(block.data(), 1, block.size(), out) != block.size())
            return request.output + ": " + Cause();
    }
    if (std::string error = WriteArchiveBody(request, out); !error.empty()) return error;
    if (std::fflush(out) != 0 || ::fsync(fileno(out)) != 0) return request.output + ": " + Cause();
    return {};
}

}  // namespace

void RemovePendingOutput() {
    if (pending.load()) ::unlink(pendingPath);
}

std::string BuildPackage(const PackageRequest& request) {
    // The package is renamed into place: a device or pipe there would be replaced, not written.
    struct stat existing;
    if (::lstat(request.output.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        return request.output + ": not a regular file; the package would take its place";
    std::string temporary = TemporaryPathFor(request.output);
    if (temporary.size() >= sizeof pendingPath) return request.output + ": the path is too long";
    std::strcpy(pendingPath, temporary.c_str());
    int fd = ::mkstemp(pendingPath);
    if (fd < 0) return request.output + ": cannot create a file beside it: " + Cause();
    pending.store(true);
    std::FILE* out = ::fdopen(fd, "w+b");
    std::string error = out ? WriteAll(request, out) : request.output + ": " + Cause();
    if (out && std::fclose(out) != 0 && error.empty()) error = request.output + ": " + Cause();
    if (!out) ::close(fd);
    if (error.empty()) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        // A package is a program; a bare archive is not.
        const mode_t mode = request.archiveOnly ? 0666 : 0777;
        if (::chmod(pendingPath, mode & ~mask) != 0 || std::rename(pendingPath, request.output.c_str()) != 0)
            error = request.output + ": " + Cause();
    }
    if (!error.empty()) ::unlink(pendingPath);
    pending.store(false);
    return error;
}
