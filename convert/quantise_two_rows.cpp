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
// Why the bytes are the same: each row goes through exactly the steps of the
// single-row passes in quantise_rows.cpp (the same carries along the row, the
// same sums in the same order, the same clamping and compensation test on the
// same values); only the upper row's output for the lower one is handed over
// in locals instead of an error array. Everything the lower row reads from
// the upper one is final when it is read, and nothing either row writes is
// read by the other. Serpentine runs, whose odd rows go right to left and
// need the whole row above first, keep the single-row passes.
#include "convert/quantise_two_rows.h"
#include "convert/row_lanes.h"

#include <cstddef>

namespace {

using namespace rowpass;

// One row of Floyd-Steinberg, one pixel per call: floydSteinbergRow's loop
// body. Carried: 7/16 of the last error for the next pixel, the sums for the
// cells below the previous pixel and below this one.
template <bool compensate> struct FloydSteinbergChain {
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};

    // Visits a pixel that has received `received` from above; completed gets
    // the cell below the previous pixel, which has now had all its shares.
    void visit(const Lanes& input, const Lanes& received, uint8_t* out, Lanes& completed) {
        Working w;
        takeInput(w, input, received + next);
        const Lanes& s = w.clamped;
        const bool five = greenTakesFiveBits<compensate>(s[1], s[0], w.unclamped[2]);
        const Lanes e = s & (five ? errorMasks : errorMasksSixBitGreen);
        next = (e * 7) >> 4;
        completed = belowPrevious + ((e * 3) >> 4);
        belowPrevious = belowThis + ((e * 5) >> 4);
        belowThis = e >> 4;
        putWord(out, s[0] & 0xF800, s[1] & greenLevelMask(five), s[2] & 0xF800);
    }
};

// One row of Atkinson-Boyle, one pixel per call: atkinsonBoyleRow's loop
// body. Carried: the shares owed to this pixel and the next, the sums for the
// cells below the previous pixel and below this one.
template <bool compensate> struct AtkinsonBoyleChain {
    Lanes here{};
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};

    // earlier: what the cell below the previous pixel had from two rows up.
    // completed gets that cell with all its shares; ownShare is this pixel's
    // eighth, which is also what the cell two rows below it receives.
    void visit(const Lanes& input, const Lanes& received, const Lanes& earlier, uint8_t* out,
               Lanes& completed, Lanes& ownShare) {
        Working w;
        takeInput(w, input, received + here);
        const Lanes& s = w.clamped;
        const bool five = greenTakesFiveBits<compensate>(s[1], s[0], w.unclamped[2]);
        const Lanes share = (s & (five ? errorMasks : errorMasksSixBitGreen)) >> 3;
        here = next + share;
        next = share;
        completed = earlier + belowPrevious + share;
        belowPrevious = belowThis + share;
        belowThis = share;
        ownShare = share;
        putWord(out, s[0] & 0xF800, s[1] & greenLevelMask(five), s[2] & 0xF800);
    }
};

// The lower row's output goes to below[x - 1] when it visits x, as in the
// single-row pass: for x = 0 that is the group in front of the array, which
// is never read.
template <bool compensate>
void floydSteinbergPair(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error,
                        int32_t* below, int32_t width, uint8_t* out, size_t outRow) {
    FloydSteinbergChain<compensate> upper;
    FloydSteinbergChain<compensate> lower;
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
void atkinsonBoylePair(const uint8_t* in, const uint8_t* lowerIn, const int32_t* error,
                       const int32_t* fromTwoUp, int32_t* below, int32_t* twoBelow, int32_t width,
                       uint8_t* out, size_t outRow) {
    AtkinsonBoyleChain<compensate> upper;
    AtkinsonBoyleChain<compensate> lower;
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
