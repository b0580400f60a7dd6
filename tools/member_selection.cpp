// Members chosen by path or pattern.
#include "tools/member_selection.h"

#include <cstdio>
#include <fnmatch.h>

#include "tools/tool_support.h"

MemberSelection::MemberSelection(const std::vector<std::string>& patterns)
    : patterns_(patterns), matched_(patterns.size()) {
    // "docs/" names the folder docs, as the stored path of a folder member ends.
    for (std::string& pattern : patterns_)
        while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
}

bool MemberSelection::Chooses(const LzhHeader& header) {
    if (patterns_.empty()) return true;
    std::string path = StoredPath(header);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    bool chosen = false;
    for (size_t i = 0; i < patterns_.size(); ++i) {
        // The path itself, then each folder above it: "docs" chooses "docs/a/b.txt".
        bool match = fnmatch(patterns_[i].c_str(), path.c_str(), 0) == 0;
        for (size_t slash = path.find('/'); !match && slash != std::string::npos; slash = path.find('/', slash + 1))
            match = fnmatch(patterns_[i].c_str(), path.substr(0, slash).c_str(), 0) == 0;
        if (match) {
            ++matched_[i];
            chosen = true;
        }
    }
    return chosen;
}

bool MemberSelection::ReportUnmatched(const char* command) const {
    bool any = false;
    for (size_t i = 0; i < patterns_.size(); ++i)
        if (matched_[i] == 0) {
            std::fprintf(stderr, "kavisfx %s: no member matches '%s'\n", command, DisplayText(patterns_[i]).c_str());
            any = true;
        }
    return any;
}
