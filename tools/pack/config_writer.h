// The configuration block that stands at offset 37888 of a package.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PackConfig {
    bool dialog = true;             // false: the one-byte block, no dialog
    std::u16string caption;
    bool programFilesBase = false;  // a relative destination lies under Program Files
    std::u16string destination;
    std::u16string shortcutTarget;  // relative to the destination, backslashes
    uint8_t startMenuOption = 0;
    uint8_t desktopOption = 0;
    uint8_t sendToOption = 0;
    std::u16string launchProgram;
    std::u16string shortcutName;
};

// A destination that begins with an environment variable makes the package one for the
// user who runs it (the stub expands it there).
inline bool IsPerUser(const PackConfig& config) { return config.dialog && !config.destination.empty() && config.destination[0] == u'%'; }

// Texts are counted in UTF-16 units by one byte each.
constexpr size_t MaxConfigText = 255;

// Empty when every text fits, else which one does not.
std::string ConfigProblem(const PackConfig& config);
std::vector<uint8_t> BuildConfigBlock(const PackConfig& config);
