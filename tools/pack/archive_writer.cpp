#include "tools/pack/archive_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

#include "tools/pack/crc16.h"

namespace {

std::string SystemText() { return std::strerror(errno); }

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

const char* MethodName(PackMethod method) {
    switch (method) {
    case PackMethod::Lh5: return "-lh5-";
    case PackMethod::Lh6: return "-lh6-";
    case PackMethod::Lh7: return "-lh7-";
    default: return "-lh0-";
    }
}

int DictionaryBits(PackMethod method) {
    return method == PackMethod::Lh5 ? 13 : method == PackMethod::Lh6 ? 15 : 16;
}

}  // namespace

void SplitMemberPath(const std::u16string& path, std::u16string& directory, std::u16string& name) {
    size_t slash = path.rfind(u'/');
    if (slash == std::u16string::npos) {
        directory.clear();
        name = path;
    } else {
        directory = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

ArchiveWriter::ArchiveWriter(std::FILE* out, PackMethod method, EncodeLevel level,
                             std::function<void(uint64_t)> progress)
    : out_(out), method_(method), level_(level), progress_(std::move(progress)) {}

std::string ArchiveWriter::WriteHeader(const MemberHeaderFields& fields, long long at) {
    std::vector<uint8_t> header = BuildMemberHeader(fields);
    if (header.size() > MaxMemberHeaderSize) return "the path is too long for a member header";
    if (fseeko(out_, at, SEEK_SET) != 0 || std::fwrite(header.data(), 1, header.size(), out_) != header.size())
        return "cannot write the package: " + SystemText();
    return {};
}

std::string ArchiveWriter::AddFolder(const PackEntry& folder) {
    MemberHeaderFields fields;
    std::memcpy(fields.method, "-lhd-", 6);
    fields.folder = true;
    fields.directory = folder.memberPath + u"/";
    fields.modifiedTime = folder.modifiedTime;
    fields.unixMode = folder.unixMode;
    long long at = ftello(out_);
    std::string error = WriteHeader(fields, at);
    if (error.empty()) ++members_;
    return error;
}

std::string ArchiveWriter::StoreFrom(std::FILE* in, long long dataAt, uint64_t size, uint16_t& crc) {
    crc = 0;
    if (fseeko(out_, dataAt, SEEK_SET) != 0) return "cannot write the package: " + SystemText();
    std::vector<uint8_t> chunk(1 << 16);
    uint64_t left = size;
    while (left) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
        size_t got = std::fread(chunk.data(), 1, want, in);
        if (got != want) return std::ferror(in) ? "cannot read: " + SystemText() : "the file changed while it was packed";
        crc = UpdateCrc16(crc, chunk.data(), got);
        if (std::fwrite(chunk.data(), 1, got, out_) != got) return "cannot write the package: " + SystemText();
        left -= got;
    }
    return {};
}

std::FILE* OpenSeenFile(const PackEntry& file, std::string& error) {
    int fd = ::open(file.hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (file.throughLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        error = "cannot open: " + SystemText();
        return nullptr;
    }
    struct stat st;
    std::FILE* in = nullptr;
    if (::fstat(fd, &st) != 0) {
        error = "cannot open: " + SystemText();
    } else if (!S_ISREG(st.st_mode) || st.st_dev != file.device || st.st_ino != file.inode) {
        error = "replaced since it was found: it is no longer the regular file that was listed";
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 || !(in = ::fdopen(fd, "rb"))) {
        error = "cannot open: " + SystemText();
    }
    if (!in) ::close(fd);
    return in;
}

std::string ArchiveWriter::AddFile(const PackEntry& file) {
    std::string error;
    std::unique_ptr<std::FILE, FileCloser> in(OpenSeenFile(file, error));
    if (!in) return error;
    const uint64_t expectedSize = file.size;

    MemberHeaderFields fields;
    std::memcpy(fields.method, MethodName(method_), 6);
    SplitMemberPath(file.memberPath, fields.directory, fields.name);
    fields.modifiedTime = file.modifiedTime;
    fields.unixMode = file.unixMode;
    const long long headerAt = ftello(out_);
    error = WriteHeader(fields, headerAt);
    if (!error.empty()) return error;
    const long long dataAt = ftello(out_);

    uint64_t originalSize = 0, packedSize = 0;
    uint16_t crc = 0;
    bool stored = method_ == PackMethod::Lh0;
    if (!stored) {
        EncodeSettings settings;
        settings.dictionaryBits = DictionaryBits(method_);
        settings.level = level_;
        EncodeResult result = EncodeStream(
            settings,
            [&](uint8_t* buffer, size_t n) -> int64_t {
                size_t got = std::fread(buffer, 1, n, in.get());
                if (got == 0 && std::ferror(in.get())) return -1;
                if (progress_ && got) progress_(got);
                return static_cast<int64_t>(got);
            },
            [&](const uint8_t* bytes, size_t n) { return std::fwrite(bytes, 1, n, out_) == n; });
        if (result.readFailed) return "cannot read: " + SystemText();
        if (result.writeFailed) return "cannot write the package: " + SystemText();
        originalSize = result.originalSize;
        packedSize = result.packedSize;
        crc = result.crc;
        if (originalSize != expectedSize) return "the file changed while it was packed";
        stored = packedSize >= originalSize;
    }
    if (stored) {
        if (method_ != PackMethod::Lh0 && fseeko(in.get(), 0, SEEK_SET) != 0) return "cannot read: " + SystemText();
        uint16_t storedCrc = 0;
        error = StoreFrom(in.get(), dataAt, expectedSize, storedCrc);
        if (!error.empty()) return error;
        if (method_ == PackMethod::Lh0 && progress_) progress_(expectedSize);
        if (method_ != PackMethod::Lh0 && storedCrc != crc) return "the file changed while it was packed";
        std::memcpy(fields.method, "-lh0-", 6);
        originalSize = packedSize = expectedSize;
        crc = storedCrc;
        if (std::fgetc(in.get()) != EOF) return "the file changed while it was packed";
    }
    if (originalSize > 0xFFFFFFFFu || packedSize > 0xFFFFFFFFu) return "the file is 4 GiB or larger";
    fields.originalSize = static_cast<uint32_t>(originalSize);
    fields.packedSize = static_cast<uint32_t>(packedSize);
    fields.crc = crc;
    error = WriteHeader(fields, headerAt);
    if (!error.empty()) return error;
    if (fseeko(out_, dataAt + static_cast<long long>(packedSize), SEEK_SET) != 0)
        return "cannot write the package: " + SystemText();
    ++members_;
    return {};
}

std::string ArchiveWriter::Finish() {
    if (std::fputc(0, out_) == EOF || std::fflush(out_) != 0) return "cannot write the package: " + SystemText();
    if (ftruncate(fileno(out_), ftello(out_)) != 0) return "cannot write the package: " + SystemText();
    return {};
}
