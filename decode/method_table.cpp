// The coding operations of each compressed method, by MethodId.
#include "decode/method_table.h"

const MethodDecoder MethodDecoderTable[10] = {
    {nullptr, nullptr, nullptr},                                  // -lh0-: stored copy
    {DecodeCharAdaptive, DecodePositionGrouped, StartLh1},        // -lh1-
    {DecodeCharAdaptive, DecodePositionAdaptive, StartLh2},       // -lh2-
    {DecodeCharLh3, DecodePositionGrouped, StartLh3},             // -lh3-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},        // -lh4-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},        // -lh5-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},        // -lh6-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},        // -lh7-
    {DecodeCharLzs, DecodePositionLzs, StartLzs},                 // -lzs-
    {DecodeCharLz5, DecodePositionLz5, StartLz5},                 // -lz5-
};
