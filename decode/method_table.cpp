// The coding operations of each compressed method, by MethodId.
#include "decode/method_table.h"

const MethodDecoder MethodDecoderTable[10] = {
    {nullptr, nullptr, nullptr},                                   // -lh0-: stored
    {nullptr, nullptr, nullptr},                                   // -lh1-
    {nullptr, nullptr, nullptr},                                   // -lh2-
    {nullptr, nullptr, nullptr},                                   // -lh3-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},         // -lh4-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},         // -lh5-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},         // -lh6-
    {DecodeCharStatic, DecodePositionStatic, StartStatic},         // -lh7-
    {nullptr, nullptr, nullptr},                                   // -lzs-
    {nullptr, nullptr, nullptr},                                   // -lz5-
};
