// Error diffusion two rows at a time.
//
// One pixel's visit waits for the previous pixel's error, so a single row is
// one long chain of dependent steps and the processor idles between them.
// The row below is a second chain: its pixel x - 1 needs, from the upper row,
// only the cell below x - 1, and that cell is complete as soon as the upper
// row has visited pixel x (Floyd-Steinberg's last share for it comes from x,
// "below and to the left"; Atkinson-Boyle's too). So one loop visits pixel x
// of the upper row and then pixel x - 1 of the lower one, and the two chains
// run side by side.
//
// Why the bytes are the same: each row goes through the pixel steps of the
// single-row passes in quantise_rows.cpp, the very same code (row_lanes.h);
// only the upper row's output for the lower one is handed over in locals
// instead of an error array. Everything the lower row reads from the upper
// one is final when it is read, and nothing either row writes is read by the
// other. Serpentine runs, whose odd rows go right to left and
// need the whole row above first, keep the single-row passes.
#include "convert/quantise_two_rows.h"
#include "convert/row_lanes.h"

#include <cstddef>

namespace {

using namespace rowpass;

// Each pair is a function of its own, its loop compiled apart from the
// choice between them: inlined there, with the pixel steps forced inline
// into it, the loop is given registers less well.
//
// The lower row's output goes to below[x - 1] when it visits x, as in the
// single-row pass: for x = 0 that is the group in front of the array, which
// is never read.
template <bool compensate>
[[gnu::noinline]] HALVEX_ALSO_FOR_AVX2 void
floydSteinbergPair(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error, int32_t* below,
                   int32_t width, uint8_t* out, size_t outRow) {
    FloydSteinbergStep<compensate> upper;
    FloydSteinbergStep<compensate> lower;
    uint8_t* lowerOut = out + outRow;
    const std::ptrdiff_t last = width - 1;
    Lanes handed{}; // the cell below the upper row's previous pixel
    for (std::ptrdiff_t x = 0; x < width; ++x) {
        Lanes received;
        Lanes pixel;
        readLanes(received, error + lanesPerPixel * x);
        readPixel(pixel, in + 3 * x);
        upper.visit(pixel, received, out + 2 * x, handed);
        if (x == 0)
            continue; // handed is the cell left of the image
        Lanes completed;
        readPixel(pixel, lowerIn + 3 * (x - 1));
        lower.visit(pixel, handed, lowerOut + 2 * (x - 1), completed);
        writeLanes(below + lanesPerPixel * (x - 2), completed);
    }
    Lanes pixel;
    readPixel(pixel, lowerIn + 3 * last);
    Lanes completed;
    lower.visit(pixel, upper.belowPrevious, lowerOut + 2 * last, completed);
    writeLanes(below + lanesPerPixel * (last - 1), completed);
    writeLanes(below + lanesPerPixel * last, lower.belowPrevious);
}

// The upper row's eighths reach the lower row's "two rows up" cells; the
// lower row at x - 1 reads that of x - 2, so the last two are kept.
template <bool compensate>
[[gnu::noinline]] HALVEX_ALSO_FOR_AVX2 void
atkinsonBoylePair(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error,
                  const int32_t* fromTwoUp, int32_t* below, int32_t* twoBelow, int32_t width,
                  uint8_t* out, size_t outRow) {
    AtkinsonBoyleStep<compensate> upper;
    AtkinsonBoyleStep<compensate> lower;
    uint8_t* lowerOut = out + outRow;
    const std::ptrdiff_t last = width - 1;
    Lanes aboveTwoBack{}; // the upper row's eighth at x - 2 (none left of the image)
    Lanes aboveOneBack{};
    for (std::ptrdiff_t x = 0; x < width; ++x) {
        Lanes received;
        Lanes earlier;
        readLanes(received, error + lanesPerPixel * x);
        readLanes(earlier, fromTwoUp + lanesPerPixel * (x - 1));
        Lanes pixel;
        readPixel(pixel, in + 3 * x);
        Lanes handed;
        Lanes upperShare;
        upper.visit(pixel, received, earlier, out + 2 * x, handed, upperShare);
        if (x > 0) {
            Lanes completed;
            Lanes lowerShare;
            readPixel(pixel, lowerIn + 3 * (x - 1));
            lower.visit(pixel, handed, aboveTwoBack, lowerOut + 2 * (x - 1), completed, lowerShare);
            writeLanes(below + lanesPerPixel * (x - 2), completed);
            writeLanes(twoBelow + lanesPerPixel * (x - 1), lowerShare);
        }
        aboveTwoBack = aboveOneBack;
        aboveOneBack = upperShare;
    }
    Lanes earlier;
    readLanes(earlier, fromTwoUp + lanesPerPixel * last);
    const Lanes handed = earlier + upper.belowPrevious;
    Lanes pixel;
    readPixel(pixel, lowerIn + 3 * last);
    Lanes completed;
    Lanes lowerShare;
    lower.visit(pixel, handed, aboveTwoBack, lowerOut + 2 * last, completed, lowerShare);
    writeLanes(below + lanesPerPixel * (last - 1), completed);
    writeLanes(twoBelow + lanesPerPixel * last, lowerShare);
    writeLanes(below + lanesPerPixel * last, aboveOneBack + lower.belowPrevious);
}

} // namespace

void floydSteinbergTwoRows(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error,
                           int32_t* below, int32_t width, uint8_t* out, size_t outRow,
                           bool compensate) {
    if (compensate)
        floydSteinbergPair<true>(in, lowerIn, error, below, width, out, outRow);
    else
        floydSteinbergPair<false>(in, lowerIn, error, below, width, out, outRow);
}

void atkinsonBoyleTwoRows(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error,
                          const int32_t* fromTwoUp, int32_t* below, int32_t* twoBelow,
                          int32_t width, uint8_t* out, size_t outRow, bool compensate) {
    if (compensate)
        atkinsonBoylePair<true>(in, lowerIn, error, fromTwoUp, below, twoBelow, width, out, outRow);
    else
        atkinsonBoylePair<false>(in, lowerIn, error, fromTwoUp, below, twoBelow, width, out,
                                 outRow);
}
