// The row-wise run's fastest passes, for x86-64 processors with the 512-bit
// integer instructions: Floyd-Steinberg and Atkinson-Boyle error diffusion
// in 16-bit lanes (used on 128- and 256-bit registers), four rows at a time
// left to right, and single rows in either direction for serpentine runs;
// and the plain pass and ordered dithering 64 pixels at a time. The same words as the passes of
// quantise_rows.cpp. Internal to the quantiser.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether this build and this processor have these passes; when not, they
// must not be called.
bool wideLanePasses();

// The bytes of working space the four-row passes need for rows this wide.
size_t fourRowScratchBytes(int32_t width);

// Rows y to y + 3 of the image, at rows[0..3], become the words at out (rows
// outRow bytes apart); scratch is a block of fourRowScratchBytes(width)
// bytes. The error arrays are those of the row-wise run, as in
// quantise_two_rows.h: error holds all that row y receives and is only read; below is filled with
// all that row y + 4 receives.
void floydSteinbergFourRows(const uint8_t* const rows[4], const int32_t* error, int32_t* below,
                            int32_t width, uint8_t* out, size_t outRow, bool compensate,
                            uint8_t* scratch);

// error holds all that row y receives and fromTwoUp what row y + 1 receives
// from row y - 1; both are only read. below is filled with all that row
// y + 4 receives, and twoBelow with what row y + 5 receives from row y + 3.
void atkinsonBoyleFourRows(const uint8_t* const rows[4], const int32_t* error,
                           const int32_t* fromTwoUp, int32_t* below, int32_t* twoBelow,
                           int32_t width, uint8_t* out, size_t outRow, bool compensate,
                           uint8_t* scratch);

// One row, in the direction given, as the single-row passes of
// quantise_rows.cpp make it: in has the row's pixels (and a byte after
// them), out gets its words. The error arrays are the
// run's own in 16-bit lanes (four a pixel, pointing at pixel 0, with one
// group in front and one behind), which serpentine runs keep instead of the
// 32-bit ones: error holds all that row y receives, below is filled with
// all that row y + 1 receives (for Atkinson-Boyle, on top of what it had
// from row y - 1 in fromTwoUp), twoBelow with what row y + 2 receives from
// row y.
void floydSteinbergLineRow(const uint8_t* in, const uint16_t* error, uint16_t* below, int32_t width,
                           uint8_t* out, bool compensate, bool rightToLeft);
void atkinsonBoyleLineRow(const uint8_t* in, const uint16_t* error, const uint16_t* fromTwoUp,
                          uint16_t* below, uint16_t* twoBelow, int32_t width, uint8_t* out,
                          bool compensate, bool rightToLeft);

// Ordered dithering's levels as quantise_rows.cpp works them out: for each
// 8-bit value the level at or below it, and how many of the 64 Bayer
// indices take the level above (index i does when i < count); 5-bit levels
// and 6-bit ones.
struct OrderedLevelTables {
    const uint8_t* fiveLower;
    const uint8_t* fiveCount;
    const uint8_t* sixLower;
    const uint8_t* sixCount;
};

// The words of a row's first pixels under ordered dithering, 64 at a time:
// indices are the row's eight Bayer indices (pixel x takes indices[x % 8]).
// Returns how many it made (a multiple of 64); the rest are left.
int32_t orderedPixels(const uint8_t* in, int32_t width, const uint8_t* indices,
                      const OrderedLevelTables& levels, bool compensate, uint8_t* out);

// The plain pass's words of a row's first pixels, 64 at a time; returns how
// many it made (a multiple of 64).
int32_t plainPixels(const uint8_t* in, int32_t width, bool compensate, uint8_t* out);
