// The configuration block at a fixed offset of the package, and the record it is read into.
#pragma once
#include <cstdint>

#include "package/wide_string.h"

constexpr uint32_t ConfigBlockOffset = 37888;  // 0x9400: the stub's image ends here
// The longest block: the marker, five counted texts of up to 255 units, the base byte
// and three option bytes.
constexpr uint32_t ConfigBlockMaxSize = 1 + 5 * (1 + 2 * 255) + 1 + 3;

enum : uint8_t { OptionEditable = 1, OptionChecked = 2 };

struct SfxConfig {
    uint8_t present = 0;             // 1 when the full block (marker nonzero) was read
    WideString caption;              // title, "Kavi SFX" when the block has none
    WideString defaultDestination;   // resolved against the current or Program Files folder
    uint8_t destinationBase = 0;     // as stored: nonzero resolves against Program Files
    // 1 when the destination as stored begins with an environment variable
    // (%LOCALAPPDATA%\Programs\Tool): the package installs for the user who runs it, and
    // its shortcuts go to that user's own folders.
    uint8_t perUser = 0;
    WideString shortcutTarget;       // relative to the destination
    WideString launchProgram;        // relative to the destination; empty: start nothing
    WideString shortcutName;         // without ".lnk"; empty: the target's base name
    uint8_t startMenuOption = 0;
    uint8_t desktopOption = 0;
    uint8_t sendToOption = 0;
};

extern const WideChar DefaultCaption[];  // u"Kavi SFX"

// Parses the block from `bytes`, what the package holds from ConfigBlockOffset on. Returns
// the count of bytes the block takes (the archive begins behind them), 0 when they end
// first. defaultDestination is left as stored: the reader resolves it.
uint32_t ParseConfigBlock(const uint8_t* bytes, uint32_t size, SfxConfig& config);
