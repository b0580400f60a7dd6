// Writes the seed inputs of every fuzz target: write_seeds FIXTURE_DIR OUT_DIR makes
// OUT_DIR/header, OUT_DIR/decoder and OUT_DIR/extraction.
#include <sys/stat.h>

#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_seeds FIXTURE_DIR OUT_DIR\n");
        return 2;
    }
    const std::string fixtures = argv[1], out = argv[2];
    struct Target {
        const char* name;
        std::vector<fuzz::Seed> seeds;
    } targets[] = {{"header", fuzz::HeaderSeeds(fixtures)},
                   {"decoder", fuzz::DecoderSeeds(fixtures)},
                   {"extraction", fuzz::ExtractionSeeds(fixtures)}};
    ::mkdir(out.c_str(), 0755);
    for (const Target& target : targets) {
        std::string folder = out + "/" + target.name;
        ::mkdir(folder.c_str(), 0755);
        for (const fuzz::Seed& seed : target.seeds) {
            if (!fuzz::WriteBytes(folder + "/" + seed.name, seed.bytes.data(), seed.bytes.size())) {
                std::perror(seed.name.c_str());
                return 1;
            }
        }
    }
    return 0;
}
