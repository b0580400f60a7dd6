// The configuration block at a fixed offset of the package, and the record it is read into.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

class FileHandle;

constexpr uint32_t ConfigBlockOffset = 37888;  // 0x9400: the stub's image ends here

enum : uint8_t { OptionEditable = 1, OptionChecked = 2 };

struct SfxConfig {
    uint8_t present = 0;             // 1 when the full block (marker nonzero) was read
    WideString caption;              // title, "Kavi SFX" when the block has none
    WideString defaultDestination;   // resolved against the current or Program Files folder
    WideString shortcutTarget;       // relative to the destination
    WideString launchProgram;        // relative to the destination; empty: start nothing
    WideString shortcutName;         // without ".lnk"; empty: the target's base name
    uint8_t startMenuOption = 0;
    uint8_t desktopOption = 0;
    uint8_t sendToOption = 0;
};

extern const WideChar DefaultCaption[];  // u"Kavi SFX"

// Reads the block at the file's current position (ConfigBlockOffset). True leaves the
// file at the archive's first byte; false when the block is cut short.
bool ReadConfigBlock(FileHandle& packageFile, SfxConfig& config);
