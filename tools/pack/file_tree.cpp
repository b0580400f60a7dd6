#include "tools/pack/file_tree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <limits>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "tools/pack/name_codec.h"
#include "tools/pack/windows_names.h"

namespace {

class TreeWalk {
public:
    TreeWalk(const TreeOptions& options, std::vector<PackEntry>& out, TreeReport& report)
        : options_(options), out_(out), report_(report) {}

    std::string AddPath(const std::string& path) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return Unreadable(path);
        std::string trimmed = path;
        bool contentsOnly = false;
        while (trimmed.size() > 1 && trimmed.back() == '/') {
            trimmed.pop_back();
            contentsOnly = true;
        }
        std::string base = trimmed.substr(trimmed.rfind('/') == std::string::npos ? 0 : trimmed.rfind('/') + 1);
        if (base == "." || base == ".." || trimmed == "/") contentsOnly = true;
        struct stat link;
        const bool throughLink = ::lstat(trimmed.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        if (S_ISDIR(st.st_mode) && contentsOnly) return AddFolderContents(path, u"", "", st);
        return AddEntry({trimmed, base, u"", "", throughLink}, st);
    }

    // Every name problem met, one per line, or an empty text.
    std::string NameProblems() const {
        if (nameProblems_.empty()) return {};
        std::string text = std::to_string(nameProblems_.size()) +
                           (nameProblems_.size() == 1 ? " name" : " names") +
                           " that Windows cannot hold or would take for another (--exclude PATTERN leaves "
                           "files and folders out):";
        for (const std::string& problem : nameProblems_) text += "\n  " + problem;
        return text;
    }

private:
    // One entry of a folder (or of the command line) as the walk meets it.
    struct Found {
        std::string hostPath;
        std::string name;
        std::u16string parent;     // member path of its folder, ending in '/', or empty
        std::string relativePath;  // below the folder given on the command line; empty for that folder
        bool throughLink = false;
    };

    bool Excluded(const Found& found) const {
        if (found.relativePath.empty()) return false;
        for (const std::string& pattern : options_.excludes)
            if (fnmatch(pattern.c_str(), found.relativePath.c_str(), 0) == 0 ||
                fnmatch(pattern.c_str(), found.name.c_str(), 0) == 0)
                return true;
        return false;
    }

    // A name Windows cannot take is noted, and the walk goes on, so that one run lists them all.
    bool AcceptsName(const Found& found, std::u16string& wideName) {
        std::string problem;
        if (!Utf8ToUtf16(found.name, wideName)) {
            problem = "the name is not valid UTF-8";
        } else if (std::string reason = WindowsNameProblem(wideName); !reason.empty()) {
            problem = "Windows does not accept " + reason;
        } else if (wideName.find(u'\uFFFF') != std::u16string::npos) {
            // The UTF-16 folder field separates folders with U+FFFF: such a name would come out split.
            problem = "U+FFFF in the name, which archives take for a folder separator";
        } else if (auto [it, fresh] = seen_.emplace(FoldCase(found.parent + wideName), found.hostPath); !fresh) {
            problem = "Windows would take it for " + it->second + " (names differ only in case, or repeat)";
        }
        if (!problem.empty()) nameProblems_.push_back(found.hostPath + ": " + problem);
        return problem.empty();
    }

    std::string AddEntry(const Found& found, const struct stat& st) {
        if (Excluded(found)) return {};
        std::u16string wideName;
        const bool nameAccepted = AcceptsName(found, wideName);
        PackEntry entry;
        entry.hostPath = found.hostPath;
        entry.memberPath = found.parent + wideName;
        entry.modifiedTime = ClampTime(st.st_mtime);
        entry.unixMode = static_cast<uint16_t>((st.st_mode & S_IFMT) | (st.st_mode & 0777));
        entry.device = st.st_dev;
        entry.inode = st.st_ino;
        entry.throughLink = found.throughLink;
        if (S_ISDIR(st.st_mode)) {
            // A folder met again through a link (a link beside the folder, or two links to
            // it) is packed once: without this, links that fan out grow the package
            // exponentially. A link to a folder above it is refused below.
            auto key = std::make_pair(st.st_dev, st.st_ino);
            if (!ancestors_.count(key)) {
                auto [it, fresh] = packedFolders_.emplace(key, found.hostPath);
                if (!fresh) {
                    report_.repeatedFolders.push_back(found.hostPath + ": the same folder as " + it->second +
                                                      ", packed once there");
                    return {};
                }
            }
            entry.folder = true;
            if (nameAccepted) out_.push_back(entry);
            std::string relative = found.relativePath.empty() ? "" : found.relativePath + "/";
            return AddFolderContents(found.hostPath, entry.memberPath + u"/", relative, st);
        }
        if (!S_ISREG(st.st_mode)) return found.hostPath + ": not a regular file or folder";
        // Found now, an unreadable file stops the run before anything is written.
        if (::access(found.hostPath.c_str(), R_OK) != 0) return Unreadable(found.hostPath);
        entry.size = static_cast<uint64_t>(st.st_size);
        if (nameAccepted) out_.push_back(entry);
        return {};
    }

    std::string AddFolderContents(const std::string& hostPath, const std::u16string& memberPrefix,
                                  const std::string& relativePrefix, const struct stat& st) {
        auto key = std::make_pair(st.st_dev, st.st_ino);
        if (!ancestors_.insert(key).second) return hostPath + ": the folder contains itself through a link";
        packedFolders_.emplace(key, hostPath);
        std::vector<std::string> names;
        if (std::string error = ListFolder(hostPath, names); !error.empty()) {
            report_.unreadable = true;
            return error;
        }
        std::sort(names.begin(), names.end());
        std::string joined = hostPath.back() == '/' ? hostPath : hostPath + "/";
        for (const std::string& name : names) {
            struct stat child;
            Found found{joined + name, name, memberPrefix, relativePrefix + name, false};
            if (::lstat(found.hostPath.c_str(), &child) != 0) return Unreadable(found.hostPath);
            if (S_ISLNK(child.st_mode) && !options_.followLinks) {
                if (!Excluded(found)) report_.skippedLinks.push_back(found.hostPath);
                continue;
            }
            found.throughLink = S_ISLNK(child.st_mode);
            if (found.throughLink && ::stat(found.hostPath.c_str(), &child) != 0)
                return Unreadable(found.hostPath, "cannot follow the link: ");
            if (std::string error = AddEntry(found, child); !error.empty()) return error;
        }
        ancestors_.erase(key);
        return {};
    }

    static std::string ListFolder(const std::string& path, std::vector<std::string>& names) {
        DIR* dir = ::opendir(path.c_str());
        if (!dir) return path + ": " + std::strerror(errno);
        errno = 0;
        while (dirent* item = ::readdir(dir)) {
            if (std::strcmp(item->d_name, ".") && std::strcmp(item->d_name, "..")) names.push_back(item->d_name);
        }
        int error = errno;
        ::closedir(dir);
        if (error) return path + ": " + std::strerror(error);
        return {};
    }

    std::string Unreadable(const std::string& path, const char* what = "") {
        std::string cause = std::strerror(errno);
        report_.unreadable = true;
        return path + ": " + what + cause;
    }

    int32_t ClampTime(int64_t seconds) const {
        if (options_.newestTime && seconds > *options_.newestTime) seconds = *options_.newestTime;
        return static_cast<int32_t>(std::clamp<int64_t>(seconds, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max()));
    }

    const TreeOptions& options_;
    std::vector<PackEntry>& out_;
    TreeReport& report_;
    std::map<std::u16string, std::string> seen_;
    std::set<std::pair<dev_t, ino_t>> ancestors_;
    std::map<std::pair<dev_t, ino_t>, std::string> packedFolders_;
    std::vector<std::string> nameProblems_;
};

}  // namespace

std::string CollectEntries(const std::vector<std::string>& paths, const TreeOptions& options,
                           std::vector<PackEntry>& out, TreeReport& report) {
    TreeWalk walk(options, out, report);
    for (const std::string& path : paths)
        if (std::string error = walk.AddPath(path); !error.empty()) return error;
    return walk.NameProblems();
}
