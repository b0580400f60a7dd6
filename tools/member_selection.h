// The members that list, test and extract work on: every member, or those chosen on the
// command line by their stored path or a glob pattern over it (fnmatch: '*' and '?' also
// match '/'). Naming a folder chooses what lies below it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/lzh_header.h"

class MemberSelection {
public:
    explicit MemberSelection(const std::vector<std::string>& patterns);

    // True when the member is chosen; counts for each pattern what it matched.
    bool Chooses(const LzhHeader& header);
    // Names each pattern that chose nothing, on standard error; true when there was one.
    bool ReportUnmatched(const char* command) const;
    bool ChoosesAll() const { return patterns_.empty(); }

private:
    std::vector<std::string> patterns_;
    std::vector<uint64_t> matched_;
};
