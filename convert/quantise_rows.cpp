// The conversion run's quantisation, one image row at a time.
//
// Both passes push error only along the row (one pixel ahead for
// Floyd-Steinberg, two for Atkinson-Boyle) and into the one or two rows
// below. So instead of two full planes a run keeps the error travelling along
// the row in a few locals, and for each of the next rows an array of the
// error that has reached it so far. A cell's working value is its scaled
// input plus the error it has received, clamped when it is visited: the same
// sum, with the same cells visited in the same order, as on the full planes,
// so every pixel word comes out the same. What the full-plane passes push
// into the margins is not kept.
//
// The three channels of a pixel go through the same steps side by side, as
// the lanes red, green, blue and an unused fourth of one small vector; they
// meet only in green's compensation test. Error arrays hold one such group
// of four per pixel, one group more in front and one behind: the share
// "below and to the left" of pixel 0, which the passes drop, lands in front
// and is never read, so the loops need no test for the left edge; the group
// behind does the same for the rows that serpentine passes walk right to
// left.
//
// Those rows have passes of their own, mirrors of the left-to-right ones;
// the even rows of a serpentine run are the plain passes' rows. The ordered
// pass needs no error at all.
//
// A run without serpentine rows takes the error-diffusion passes two rows at
// a time (quantise_two_rows.cpp), which gives the same words faster; the
// single-row passes here remain for the rows left over and for serpentine
// runs, and are what the two-row passes are checked against.
//
// The error-diffusion passes read each pixel with one 4-byte load, which
// takes the byte after it too. Every pixel but the image's last has one; the
// run keeps a copy of the last row with a spare byte and reads that row from
// there.
#include "convert/convert.h"
#include "convert/quantise_two_rows.h"
#include "convert/row_lanes.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

int32_t orderedThreshold(int32_t x, int32_t y) {
    static const uint8_t bayer[8][8] = {
        {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
        {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
        {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
        {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
    };
    // The 64 thresholds sit in the middle of equal slices of the step, so
    // that rounding up and down balance.
    return bayer[y & 7][x & 7] * 32 + 16;
}

namespace {

using namespace rowpass;

template <bool compensate> void plainRow(const uint8_t* in, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, in += 3, out += 2) {
        const int32_t r = in[0] * 257;
        const int32_t g = in[1] * 257;
        const int32_t b = in[2] * 257;
        const bool five = greenTakesFiveBits<compensate>(g, r, b);
        putWord(out, r & 0xF800, g & greenLevelMask(five), b & 0xF800);
    }
}

// error: what row y has received from above; below: filled with what row
// y + 1 receives from row y, which is all it receives.
//
// Carried along the row: 7/16 of the last error for the next pixel, and the
// sums gathered so far for the cell below the previous pixel (1/16 from the
// pixel before it, 5/16 from it) and for the cell below this one (1/16 from
// the previous pixel). The cell below the previous pixel gets its last share,
// 3/16, from this pixel, so it is stored rather than added to.
template <bool compensate>
void floydSteinbergRow(const uint8_t* in, const int32_t* error, int32_t* below, int32_t width,
                       uint8_t* out) {
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};
    for (int32_t x = 0; x < width;
         ++x, in += 3, error += lanesPerPixel, below += lanesPerPixel, out += 2) {
        Lanes received;
        readLanes(received, error);
        Working w;
        visitPixel(w, in, received + next);
        const Lanes& s = w.clamped;
        const bool five = greenTakesFiveBits<compensate>(s[1], s[0], w.unclamped[2]);
        const Lanes e = s & (five ? errorMasks : errorMasksSixBitGreen);
        next = (e * 7) >> 4;
        writeLanes(below - lanesPerPixel, belowPrevious + ((e * 3) >> 4));
        belowPrevious = belowThis + ((e * 5) >> 4);
        belowThis = e >> 4;
        putWord(out, s[0] & 0xF800, s[1] & greenLevelMask(five), s[2] & 0xF800);
    }
    writeLanes(below - lanesPerPixel, belowPrevious);
}

// error: what row y has received; fromTwoUp: what row y + 1 has received
// from row y - 1; below: filled with all that row y + 1 receives; twoBelow:
// filled with what row y + 2 receives from row y.
//
// One eighth of each error goes to the next two pixels, the three cells
// below and the cell two rows below. Carried along the row: the shares owed
// to this pixel and to the next, and the sums gathered for the cells below
// the previous pixel and below this one. The cell below the previous pixel is
// complete after this pixel's share and is stored, on top of what it had from
// two rows up.
template <bool compensate>
void atkinsonBoyleRow(const uint8_t* in, const int32_t* error, const int32_t* fromTwoUp,
                      int32_t* below, int32_t* twoBelow, int32_t width, uint8_t* out) {
    Lanes here{};
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};
    for (int32_t x = 0; x < width; ++x, in += 3, error += lanesPerPixel, fromTwoUp += lanesPerPixel,
                 below += lanesPerPixel, twoBelow += lanesPerPixel, out += 2) {
        Lanes received;
        readLanes(received, error);
        Working w;
        visitPixel(w, in, received + here);
        const Lanes& s = w.clamped;
        const bool five = greenTakesFiveBits<compensate>(s[1], s[0], w.unclamped[2]);
        const Lanes share = (s & (five ? errorMasks : errorMasksSixBitGreen)) >> 3;
        here = next + share;
        next = share;
        Lanes earlier;
        readLanes(earlier, fromTwoUp - lanesPerPixel);
        writeLanes(below - lanesPerPixel, earlier + belowPrevious + share);
        belowPrevious = belowThis + share;
        belowThis = share;
        writeLanes(twoBelow, share);
        putWord(out, s[0] & 0xF800, s[1] & greenLevelMask(five), s[2] & 0xF800);
    }
    Lanes earlier;
    readLanes(earlier, fromTwoUp - lanesPerPixel);
    writeLanes(below - lanesPerPixel, earlier + belowPrevious);
}

// The rows a serpentine run walks right to left: floydSteinbergRow with
// the pattern mirrored. The next pixel is x - 1, and the cell below that
// completes with this pixel's share is the one below x + 1.
template <bool compensate>
void floydSteinbergRowRightToLeft(const uint8_t* in, const int32_t* error, int32_t* below,
                                  int32_t width, uint8_t* out) {
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};
    for (std::ptrdiff_t x = width - 1; x >= 0; --x) {
        Lanes received;
        readLanes(received, error + lanesPerPixel * x);
        Working w;
        visitPixel(w, in + 3 * x, received + next);
        const Lanes& s = w.clamped;
        const bool five = greenTakesFiveBits<compensate>(s[1], s[0], w.unclamped[2]);
        const Lanes e = s & (five ? errorMasks : errorMasksSixBitGreen);
        next = (e * 7) >> 4;
        writeLanes(below + lanesPerPixel * (x + 1), belowPrevious + ((e * 3) >> 4));
        belowPrevious = belowThis + ((e * 5) >> 4);
        belowThis = e >> 4;
        putWord(out + 2 * x, s[0] & 0xF800, s[1] & greenLevelMask(five), s[2] & 0xF800);
    }
    writeLanes(below, belowPrevious);
}

// atkinsonBoyleRow mirrored, for the same rows.
template <bool compensate>
void atkinsonBoyleRowRightToLeft(const uint8_t* in, const int32_t* error, const int32_t* fromTwoUp,
                                 int32_t* below, int32_t* twoBelow, int32_t width, uint8_t* out) {
    Lanes here{};
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};
    for (std::ptrdiff_t x = width - 1; x >= 0; --x) {
        Lanes received;
        readLanes(received, error + lanesPerPixel * x);
        Working w;
        visitPixel(w, in + 3 * x, received + here);
        const Lanes& s = w.clamped;
        const bool five = greenTakesFiveBits<compensate>(s[1], s[0], w.unclamped[2]);
        const Lanes share = (s & (five ? errorMasks : errorMasksSixBitGreen)) >> 3;
        here = next + share;
        next = share;
        Lanes earlier;
        readLanes(earlier, fromTwoUp + lanesPerPixel * (x + 1));
        writeLanes(below + lanesPerPixel * (x + 1), earlier + belowPrevious + share);
        belowPrevious = belowThis + share;
        belowThis = share;
        writeLanes(twoBelow + lanesPerPixel * x, share);
        putWord(out + 2 * x, s[0] & 0xF800, s[1] & greenLevelMask(five), s[2] & 0xF800);
    }
    Lanes earlier;
    readLanes(earlier, fromTwoUp);
    writeLanes(below, earlier + belowPrevious);
}

// Every pixel on its own: the channel plus the position's threshold, clamped
// and masked. Green under compensation takes the 5-bit threshold, so its
// level equals that of the red or blue it equals.
template <bool compensate>
void orderedRow(const uint8_t* in, int32_t y, int32_t width, uint8_t* out) {
    int32_t thresholds[8];
    for (int32_t x = 0; x < 8; ++x)
        thresholds[x] = orderedThreshold(x, y);
    const auto level = [](int32_t value, int32_t threshold, int32_t mask) {
        const int32_t raised = value + threshold;
        return (raised > maxLevel ? maxLevel : raised) & mask;
    };
    for (int32_t x = 0; x < width; ++x, in += 3, out += 2) {
        const int32_t t = thresholds[x & 7];
        const int32_t r = in[0] * 257;
        const int32_t g = in[1] * 257;
        const int32_t b = in[2] * 257;
        const bool five = greenTakesFiveBits<compensate>(g, r, b);
        putWord(out, level(r, t, 0xF800), five ? level(g, t, 0xF800) : level(g, t / 2, 0xFC00),
                level(b, t, 0xF800));
    }
}

size_t errorRowEntries(int32_t width) {
    return lanesPerPixel * (static_cast<size_t>(width) + 2);
}

int32_t errorRowsFor(DitherMethod method) {
    if (method == DitherMethod::floydSteinberg)
        return 2;
    return method == DitherMethod::atkinsonBoyle ? 4 : 0;
}

// Where the passes read row y: in place, or the last row's copy.
const uint8_t* inputRow(const RowQuantiser* q, int32_t y) {
    if (y == q->image.height - 1 && q->lastRow != nullptr)
        return q->lastRow;
    return q->image.pixels + static_cast<size_t>(y) * 3 * static_cast<size_t>(q->image.width);
}

template <bool compensate> void quantiseRow(RowQuantiser* q, uint8_t* out) {
    const uint8_t* in = inputRow(q, q->nextRow);
    int32_t** rows = q->errorRows;
    const int32_t width = q->image.width;
    const bool rightToLeft = q->serpentine && q->nextRow % 2 == 1;
    switch (q->method) {
    case DitherMethod::floydSteinberg:
        if (rightToLeft)
            floydSteinbergRowRightToLeft<compensate>(in, rows[0], rows[1], width, out);
        else
            floydSteinbergRow<compensate>(in, rows[0], rows[1], width, out);
        // What row y + 1 receives is complete: it is the next row's error.
        std::swap(rows[0], rows[1]);
        break;
    case DitherMethod::atkinsonBoyle:
        if (rightToLeft)
            atkinsonBoyleRowRightToLeft<compensate>(in, rows[0], rows[1], rows[2], rows[3], width,
                                                    out);
        else
            atkinsonBoyleRow<compensate>(in, rows[0], rows[1], rows[2], rows[3], width, out);
        // Row y + 1 is complete in rows[2]; what row y + 2 has so far is in
        // rows[3]. The two arrays just read are free for the next row.
        std::swap(rows[0], rows[2]);
        std::swap(rows[1], rows[3]);
        break;
    case DitherMethod::ordered:
        orderedRow<compensate>(in, q->nextRow, width, out);
        break;
    default:
        plainRow<compensate>(in, width, out);
        break;
    }
}

// Rows y and y + 1 at once where a two-row pass exists (error diffusion
// left to right), leaving the error arrays as two single-row steps would.
// False, with nothing done, for the other passes.
bool quantiseTwoRows(RowQuantiser* q, uint8_t* out, size_t outRow) {
    const uint8_t* in = inputRow(q, q->nextRow);
    const uint8_t* lowerIn = inputRow(q, q->nextRow + 1);
    int32_t** rows = q->errorRows;
    const int32_t width = q->image.width;
    if (q->serpentine)
        return false;
    switch (q->method) {
    case DitherMethod::floydSteinberg:
        // rows[0] is read while rows[1] fills with what row y + 2 receives.
        floydSteinbergTwoRows(in, lowerIn, rows[0], rows[1], width, out, outRow, q->compensate);
        std::swap(rows[0], rows[1]);
        return true;
    case DitherMethod::atkinsonBoyle:
        atkinsonBoyleTwoRows(in, lowerIn, rows[0], rows[1], rows[2], rows[3], width, out, outRow,
                             q->compensate);
        std::swap(rows[0], rows[2]);
        std::swap(rows[1], rows[3]);
        return true;
    default:
        return false;
    }
}

} // namespace

bool startRowQuantiser(RowQuantiser* q, const RgbImage& image, int32_t greenCompensation,
                       DitherMode mode) {
    return startRowQuantiser(q, image, dialogQuantisation(greenCompensation, mode));
}

bool startRowQuantiser(RowQuantiser* q, const RgbImage& image, const Quantisation& quantisation) {
    *q = RowQuantiser{};
    q->image = image;
    q->compensate = quantisation.greenCompensation;
    q->method = quantisation.method;
    const int32_t errorRows = errorRowsFor(quantisation.method);
    q->serpentine = quantisation.serpentine && errorRows > 0;
    for (int32_t i = 0; i < errorRows; ++i) {
        auto* block = static_cast<int32_t*>(calloc(errorRowEntries(image.width), sizeof(int32_t)));
        if (block == nullptr) {
            endRowQuantiser(q);
            return false;
        }
        q->errorRows[i] = block + lanesPerPixel;
    }
    if (errorRows > 0 && image.width > 0 && image.height > 0) {
        const size_t rowBytes = 3 * static_cast<size_t>(image.width);
        q->lastRow = static_cast<uint8_t*>(calloc(rowBytes + 1, 1));
        if (q->lastRow == nullptr) {
            endRowQuantiser(q);
            return false;
        }
        memcpy(q->lastRow, image.pixels + (static_cast<size_t>(image.height) - 1) * rowBytes,
               rowBytes);
    }
    return true;
}

void quantiseNextRows(RowQuantiser* q, int32_t count, uint8_t* words) {
    const size_t outRow = 2 * static_cast<size_t>(q->image.width);
    const int32_t end = q->image.height - q->nextRow < count ? q->image.height : q->nextRow + count;
    while (q->nextRow < end) {
        if (end - q->nextRow >= 2 && quantiseTwoRows(q, words, outRow)) {
            q->nextRow += 2;
            words += 2 * outRow;
            continue;
        }
        if (q->compensate)
            quantiseRow<true>(q, words);
        else
            quantiseRow<false>(q, words);
        ++q->nextRow;
        words += outRow;
    }
}

void endRowQuantiser(RowQuantiser* q) {
    for (int32_t*& row : q->errorRows) {
        if (row != nullptr)
            free(row - lanesPerPixel);
        row = nullptr;
    }
    free(q->lastRow);
    q->lastRow = nullptr;
}

bool quantiseRows(const RgbImage& image, const Quantisation& quantisation, uint8_t* words) {
    RowQuantiser q;
    if (!startRowQuantiser(&q, image, quantisation))
        return false;
    quantiseNextRows(&q, image.height, words);
    endRowQuantiser(&q);
    return true;
}
