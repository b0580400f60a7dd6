// The coding operations of each compressed method, by MethodId.
#include "decode/method_table.h"

const MethodDecoder MethodDecoderTable[10] = {
    {nullptr, nullptr, nullptr},                                  // -lh0-: stored copy
    {DecodeCharAdaptive, DecodePositionGrouped, StartLh1},        // -lh1-
    {DecodeCharAdaptive, DecodePositionAdaptive, StartLh2},       // -lh2-
    {DecodeCharLh3, DecodePositionGrouped, StartLh3},             // -lh3-
    {nullptr, nullptr, StartStatic},  // -lh4- to -lh7-: the fast loop decodes
    {nullptr, nullptr, StartStatic},  // their symbols itself (UseFastLoops)
    {nullptr, nullptr, StartStatic},
    {nullptr, nullptr, StartStatic},
    {DecodeCharLzs, DecodePositionLzs, StartLzs},                 // -lzs-
    {DecodeCharLz5, DecodePositionLz5, StartLz5},                 // -lz5-
};
