// The RGN/MBR file: twelve little-endian 32-bit header words, then one
// little-endian 16-bit word per pixel, rows from the top.
#pragma once

#include "convert/quantise.h"

#include <cstdint>
#include <cstdio>

constexpr int32_t rgnHeaderBytes = 48;

// Writes value as four bytes, least significant first. 0, or -1 when the
// write fails.
int32_t writeInt32(FILE* stream, int32_t value);

// The twelve header words of an RGN/MBR file for a width x height image.
void rgnHeaderWords(int32_t width, int32_t height, int32_t words[12]);

// Writes a complete RGN/MBR file: the header for width x height, then the
// 2 x width x height bytes of words. Opens the target "wb", checks every
// write and the close, and removes a regular file left incomplete. Returns 0,
// or -1 with the system's error number in *systemError when that is not null.
int32_t writeRgnFile(const char* targetPath, int32_t width, int32_t height, const uint8_t* words,
                     int* systemError = nullptr);

// The whole conversion run for an explicit image. Everything it needs is
// allocated before the target is opened ("wb"), so a run refused for its
// size or for want of memory leaves an existing target untouched; the words
// are then made and written a few rows at a time, checked and cleaned up as
// writeRgnFile does. Returns 0, or -1 with the system's error number in
// *systemError when that is not null.
int32_t convertImageToFile(const char* targetPath, const RgbImage& source,
                           int32_t greenCompensation, DitherMode mode, int* systemError = nullptr);
int32_t convertImageToFile(const char* targetPath, const RgbImage& source,
                           const Quantisation& quantisation, int* systemError = nullptr);
