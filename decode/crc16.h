// CRC-16/ARC (reflected 0x8005, initial 0, no final inversion), table-driven.
#pragma once
#include <cstdint>

class FileHandle;

void MakeCrcTable();
void UpdateCrc(const uint8_t* bytes, uint32_t length);
// Updates the CRC, then writes the block; false (and decodeState.failure) on a failed write.
bool WriteWithCrc(const uint8_t* bytes, uint32_t length, FileHandle& output);
