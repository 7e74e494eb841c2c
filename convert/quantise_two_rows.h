// Floyd-Steinberg and Atkinson-Boyle error diffusion two rows at a time,
// left to right: the row-wise run's fast path for the dialog's passes.
// Internal to the quantiser (quantise_rows.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// Rows y and y + 1 of the image, at in and lowerIn, become the words at out
// (rows outRow bytes apart). Each input row has a readable byte after it. The error arrays are
// those of the row-wise run (four lanes per pixel, one group in front of pixel 0 and one behind the
// last): error holds all that row y receives and is only read; below is filled with all that row y
// + 2 receives.
void floydSteinbergTwoRows(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error,
                           int32_t* below, int32_t width, uint8_t* out, size_t outRow,
                           bool compensate);

// error holds all that row y receives and fromTwoUp what row y + 1 receives
// from row y - 1; both are only read. below is filled with all that row
// y + 2 receives, and twoBelow with what row y + 3 receives from row y + 1.
void atkinsonBoyleTwoRows(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error,
                          const int32_t* fromTwoUp, int32_t* below, int32_t* twoBelow,
                          int32_t width, uint8_t* out, size_t outRow, bool compensate);
