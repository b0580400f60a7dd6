// Reading the configuration block from the package file.
#pragma once
#include "package/config_block.h"
#include "platform/file_handle.h"

// Reads the block at the file's current position (ConfigBlockOffset) and resolves the
// destination on this machine. True leaves the file at the archive's first byte; false
// when the block is cut short.
bool ReadConfigBlock(FileHandle& packageFile, SfxConfig& config);
