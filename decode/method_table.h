// The three coding operations of each compressed method, indexed by MethodId.
#pragma once
#include <cstdint>

class FileHandle;

struct MethodDecoder {
    uint16_t (*decodeChar)();          // 0..255 literal, 256.. match code
    uint16_t (*decodePosition)();      // match distance less one
    void (*start)(FileHandle& input);  // binds the bit reader, resets the method's state
};

extern const MethodDecoder MethodDecoderTable[10];  // MethodId 0..9; entry 0 is empty

// -lh4- to -lh7-
void StartStatic(FileHandle& input);
uint16_t DecodeCharStatic();
uint16_t DecodePositionStatic();
// -lh1-, -lh2-
void StartLh1(FileHandle& input);
void StartLh2(FileHandle& input);
uint16_t DecodeCharAdaptive();
uint16_t DecodePositionAdaptive();
uint16_t DecodePositionGrouped();
// -lh3-
void StartLh3(FileHandle& input);
uint16_t DecodeCharLh3();
// -lzs-, -lz5-
void StartLzs(FileHandle& input);
uint16_t DecodeCharLzs();
uint16_t DecodePositionLzs();
void StartLz5(FileHandle& input);
uint16_t DecodeCharLz5();
uint16_t DecodePositionLz5();
