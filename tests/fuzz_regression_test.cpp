// Replays every stored fuzz input (fuzz/regressions/<target>/) and every seed
// (fuzz/seeds/<target>/; the fixture archives too for the header target) through the fuzz
// targets, so that a fault the fuzzer once found stays found without the fuzzer. A target
// reports a broken invariant through the failure hook.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace fs = std::filesystem;

namespace {

void RecordFailure(const char* what, const char* file, int line) {
    ADD_FAILURE_AT(file, line) << "broken invariant: " << what;
}

// Returns how many inputs were replayed.
size_t Replay(const char* target, void (*run)(const uint8_t*, size_t), const char* fixtures = nullptr) {
    fuzz::SetFailureHook(RecordFailure);
    std::vector<fs::path> inputs;
    const fs::path fuzzDir = KAVISFX_FUZZ_DIR;
    for (const fs::path& folder : {fuzzDir / "regressions" / target, fuzzDir / "seeds" / target,
                                   fs::path(fixtures ? fixtures : "/nonexistent")})
        if (fs::is_directory(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& path : inputs) {
        SCOPED_TRACE(path.string());
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        run(bytes.data(), bytes.size());
    }
    fuzz::SetFailureHook(nullptr);
    return inputs.size();
}

TEST(FuzzRegressions, HeaderReaderAndConfigurationBlock) {
    EXPECT_GT(Replay("header", fuzz::RunHeaderTarget, KAVISFX_FIXTURES_DIR), 50u);
}

TEST(FuzzRegressions, Decoders) { EXPECT_GT(Replay("decoder", fuzz::RunDecoderTarget), 60u); }

TEST(FuzzRegressions, ExtractionWorker) { EXPECT_GT(Replay("extraction", fuzz::RunExtractionTarget), 50u); }

}  // namespace
