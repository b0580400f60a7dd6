// A small -lh1- encoder for the decoding benchmark (no installed archiver writes -lh1-):
// greedy LZ matches from a hash chain over a 4 KiB window, coded with the adaptive tree.
#pragma once
#include <cstdint>
#include <vector>

// The packed data of a -lh1- member holding `data`. Uses decodeState's adaptive tree.
std::vector<uint8_t> EncodeLh1(const std::vector<uint8_t>& data);
