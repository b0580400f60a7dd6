#include "tools/pack/file_tree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
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
        if (S_ISDIR(st.st_mode) && contentsOnly) return AddFolderContents(path, u"", st);
        return AddEntry(trimmed, base, u"", st);
    }

private:
    std::string AddEntry(const std::string& hostPath, const std::string& name, const std::u16string& parent,
                         const struct stat& st) {
        std::u16string wideName;
        if (!Utf8ToUtf16(name, wideName)) return hostPath + ": the name is not valid UTF-8";
        std::string problem = WindowsNameProblem(wideName);
        if (!problem.empty()) return hostPath + ": Windows does not accept " + problem;
        // The UTF-16 folder field separates folders with U+FFFF: such a name would come out split.
        if (wideName.find(u'\uFFFF') != std::u16string::npos)
            return hostPath + ": U+FFFF in the name, which archives take for a folder separator";
        std::u16string memberPath = parent + wideName;
        auto [it, fresh] = seen_.emplace(FoldCase(memberPath), hostPath);
        if (!fresh)
            return hostPath + ": Windows would take it for " + it->second + " (names differ only in case, or repeat)";

        PackEntry entry;
        entry.hostPath = hostPath;
        entry.memberPath = memberPath;
        entry.modifiedTime = ClampTime(st.st_mtime);
        if (S_ISDIR(st.st_mode)) {
            entry.folder = true;
            out_.push_back(entry);
            return AddFolderContents(hostPath, memberPath + u"/", st);
        }
        if (!S_ISREG(st.st_mode)) return hostPath + ": not a regular file or folder";
        // Found now, an unreadable file stops the run before anything is written.
        if (::access(hostPath.c_str(), R_OK) != 0) return Unreadable(hostPath);
        entry.size = static_cast<uint64_t>(st.st_size);
        out_.push_back(entry);
        return {};
    }

    std::string AddFolderContents(const std::string& hostPath, const std::u16string& memberPrefix,
                                  const struct stat& st) {
        auto key = std::make_pair(st.st_dev, st.st_ino);
        if (!ancestors_.insert(key).second) return hostPath + ": the folder contains itself through a link";
        std::vector<std::string> names;
        if (std::string error = ListFolder(hostPath, names); !error.empty()) {
            report_.unreadable = true;
            return error;
        }
        std::sort(names.begin(), names.end());
        std::string joined = hostPath.back() == '/' ? hostPath : hostPath + "/";
        for (const std::string& name : names) {
            struct stat child;
            std::string childPath = joined + name;
            if (::lstat(childPath.c_str(), &child) != 0) return Unreadable(childPath);
            if (S_ISLNK(child.st_mode) && !options_.followLinks) {
                report_.skippedLinks.push_back(childPath);
                continue;
            }
            if (S_ISLNK(child.st_mode) && ::stat(childPath.c_str(), &child) != 0)
                return Unreadable(childPath, "cannot follow the link: ");
            if (std::string error = AddEntry(childPath, name, memberPrefix, child); !error.empty()) return error;
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
};

}  // namespace

std::string CollectEntries(const std::vector<std::string>& paths, const TreeOptions& options,
                           std::vector<PackEntry>& out, TreeReport& report) {
    TreeWalk walk(options, out, report);
    for (const std::string& path : paths)
        if (std::string error = walk.AddPath(path); !error.empty()) return error;
    return {};
}
