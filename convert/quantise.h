// Quantisation: reduces an RgbImage to RGB565 words on a 16-bit working
// scale (channel value x 257), plainly or with Floyd-Steinberg or
// Atkinson-Boyle error diffusion, with optional green-level compensation.
// The command line adds serpentine error diffusion, and ordered dithering,
// which works on the 8-bit values a screen shows for the levels instead.
#pragma once

#include "image/image.h"

#include <cstdint>
#include <cstdio>

// Index of the dialog's dithering list; every other value runs the plain pass.
using DitherMode = int32_t;
constexpr DitherMode ditherNone = 0;
constexpr DitherMode ditherFloydSteinbergMode = 1;
constexpr DitherMode ditherAtkinsonBoyleMode = 2;

// The choice of quantisation: the dialog's three methods and those only the
// command line and the page offer. The dialog's list index maps onto it with
// dialogQuantisation (every unknown index runs the plain pass).
enum class DitherMethod : int32_t { none, floydSteinberg, atkinsonBoyle, ordered };
struct Quantisation {
    DitherMethod method = DitherMethod::floydSteinberg;
    bool serpentine = false; // odd rows right to left (error diffusion only)
    bool greenCompensation = true;
};
Quantisation dialogQuantisation(int32_t greenCompensation, DitherMode mode);

// The command line's name of a method: "none", "floyd-steinberg",
// "atkinson-boyle", "ordered".
const char* ditherMethodName(DitherMethod method);

// An image with a null pixel block counts as 0 x 0.
RgbImage imageOrEmpty(const RgbImage& image);

// The pixel block of the image fits the format's 32-bit size word, and
// 3 x width + 6 fits in 32 bits: the width of the full-plane passes' planes,
// which the run is checked against. The run itself needs only the first; the
// second is kept so that the same pictures are refused, and adds to the
// first only one-row pictures wider than 715 827 880 pixels.
bool rgnWordsFit(const RgbImage& image);

// The block for an image's pixel words (2 x width x height bytes; one byte
// for an image without pixels), allocated but not filled, its size in
// *byteCount: null when the image is invalid (negative sizes, too large) or
// the memory cannot be had. quantiseImage fills such a block.
uint8_t* allocWordsFor(const RgbImage& image, int32_t* byteCount);

// The pixel words of the quantised image, each least significant byte first,
// rows from the top, as one malloc'd block (release with free()) of
// *byteCount = 2 x width x height bytes. An image with a null pixel block is
// taken as 0 x 0. Null when the image is invalid (negative sizes, a pixel
// block too large to describe) or the memory cannot be had. Works one row at
// a time with a few rows of error in place of the two planes.
uint8_t* quantiseImage(const RgbImage& source, const Quantisation& quantisation,
                       int32_t* byteCount);

// The row-wise pass itself: fills words (2 x width x height bytes) from an
// image of at least one pixel. False when its few error rows cannot be
// allocated.
bool quantiseRows(const RgbImage& image, const Quantisation& quantisation, uint8_t* words);

// The same pass taken a few rows at a time, so that a run can write each
// batch of words as it is made. The start allocates everything the run
// needs and returns null only for want of memory; each call of
// quantiseNextRows fills the words of the next count rows (fewer at the
// bottom); the end releases what the start allocated (nothing for null).
// The image must stay in place until the end. Each call reads only the rows
// it quantises, so the later rows may still be arriving; with windowRows
// above 0 the image's block holds only that many rows, row y in place
// y mod windowRows, with a spare byte after the last.
struct RowQuantiser;
RowQuantiser* startRowQuantiser(const RgbImage& image, const Quantisation& quantisation,
                                int32_t windowRows = 0);
void quantiseNextRows(RowQuantiser* q, int32_t count, uint8_t* words);
void endRowQuantiser(RowQuantiser* q);
