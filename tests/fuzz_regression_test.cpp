// Replays every stored fuzz input (fuzz/regressions/<target>/) and every seed input
// through the fuzz targets, so that a fault the fuzzer once found stays found without
// the fuzzer. A target reports a broken invariant through the failure hook.
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

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Target {
    const char* folder;
    void (*run)(const uint8_t* data, size_t size);
    std::vector<fuzz::Seed> (*seeds)(const std::string& fixtureDir);
};

// Returns how many inputs were replayed.
size_t Replay(const Target& target) {
    fuzz::SetFailureHook(RecordFailure);
    size_t count = 0;
    std::vector<fs::path> stored;
    fs::path folder = fs::path(KAVISFX_FUZZ_DIR) / "regressions" / target.folder;
    if (fs::is_directory(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') stored.push_back(entry.path());
    std::sort(stored.begin(), stored.end());
    for (const fs::path& path : stored) {
        SCOPED_TRACE(path.string());
        std::vector<uint8_t> bytes = ReadAll(path);
        target.run(bytes.data(), bytes.size());
        ++count;
    }
    for (const fuzz::Seed& seed : target.seeds(KAVISFX_FIXTURES_DIR)) {
        SCOPED_TRACE("seed " + seed.name);
        target.run(seed.bytes.data(), seed.bytes.size());
        ++count;
    }
    fuzz::SetFailureHook(nullptr);
    return count;
}

TEST(FuzzRegressions, HeaderReaderAndConfigurationBlock) {
    EXPECT_GT(Replay({"header", fuzz::RunHeaderTarget, fuzz::HeaderSeeds}), 20u);
}

TEST(FuzzRegressions, Decoders) {
    EXPECT_GT(Replay({"decoder", fuzz::RunDecoderTarget, fuzz::DecoderSeeds}), 40u);
}

TEST(FuzzRegressions, ExtractionWorker) {
    EXPECT_GT(Replay({"extraction", fuzz::RunExtractionTarget, fuzz::ExtractionSeeds}), 20u);
}

}  // namespace
