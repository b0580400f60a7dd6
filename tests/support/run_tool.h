// Test-only: shell commands and the host tool run from the tests, and scratch folders.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace run {

struct Result {
    int status = -1;
    std::string out, err;
    std::string all() const { return out + err; }
};

inline std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// `command` under sh without input; its standard output and error apart.
inline Result Shell(const std::string& command) {
    char errPath[] = "/tmp/kavisfx-stderr-XXXXXX";
    ::close(::mkstemp(errPath));
    Result result;
    if (FILE* pipe = ::popen(("(" + command + ") 2>" + errPath + " </dev/null").c_str(), "r")) {
        char buffer[4096];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, n);
        int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (FILE* err = std::fopen(errPath, "rb")) {
        char buffer[4096];
        while (size_t n = std::fread(buffer, 1, sizeof buffer, err)) result.err.append(buffer, n);
        std::fclose(err);
    }
    std::remove(errPath);
    return result;
}

inline Result Tool(const std::string& arguments) { return Shell(Quote(KAVISFX_TOOL) + " " + arguments); }

// A fresh folder, removed with everything in it.
class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/kavisfx-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~Scratch() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

private:
    std::filesystem::path path_;
};

}  // namespace run
