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
// Those rows go through the same pixel steps with the pattern mirrored; the
// even rows of a serpentine run are the plain passes' rows. The ordered pass
// needs no error at all.
//
// A run without serpentine rows takes the error-diffusion passes four rows
// at a time where the processor allows (quantise_wide_lanes.cpp), else two
// (quantise_two_rows.cpp), which gives the same words faster; a serpentine
// run takes that file's single-row passes, and the plain and ordered passes
// its steps of 64 pixels, where the processor allows. The passes here remain
// for the rows and pixels left over and for other processors, and are what
// the others are checked against.
//
// The error-diffusion passes read each pixel with one 4-byte load, which
// takes the byte after it too. Every pixel but the image's last has one; the
// run keeps a copy of the last row with a spare byte and reads that row from
// there.
#include "convert/convert.h"
#include "convert/quantise_two_rows.h"
#include "convert/quantise_wide_lanes.h"
#include "convert/rgn_format.h"
#include "convert/row_lanes.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <utility>

// The run's state between calls. Everything it points to is its own.
struct RowQuantiser {
    RgbImage image;
    bool compensate;
    DitherMethod method;
    bool serpentine; // only ever set for the error-diffusion methods
    int32_t nextRow;
    int32_t windowRows; // 0: the whole image is in place; else row y is at y mod windowRows
    // Error that has reached the next rows, each array two pixels longer
    // than the image and pointing past the leading one.
    int32_t* errorRows[4];
    // The image's last row with a spare byte after it, for the error
    // diffusion passes, which read each pixel with the byte that follows.
    uint8_t* lastRow;
    // The four-row passes' working space; null where they do not run.
    uint8_t* fourRowScratch;
    // A serpentine run's error arrays instead of errorRows where its rows
    // take the wide-lane passes: the same, in 16-bit lanes.
    uint16_t* lineErrors[4];
};

namespace {

using namespace rowpass;

// Each field is the top bits of its channel; a green that takes 5 bits
// sits where its 6-bit field is twice the level.
template <bool compensate> void plainRow(const uint8_t* in, int32_t width, uint8_t* out) {
    int32_t x = 0;
    if (wideLanePasses()) {
        x = plainPixels(in, width, compensate, out);
        in += 3 * static_cast<size_t>(x);
        out += 2 * static_cast<size_t>(x);
    }
    for (; x < width; ++x, in += 3, out += 2) {
        const uint32_t r = in[0];
        const uint32_t g = in[1];
        const uint32_t b = in[2];
        const bool five = compensate && (g == r || g == b);
        const uint32_t green = five ? (g >> 3) << 6 : (g >> 2) << 5;
        putWord(out, static_cast<uint16_t>((r >> 3) << 11 | green | b >> 3));
    }
}

// The rows of an error-diffusion run, walked left to right (step 1) or, on
// a serpentine run's odd rows, right to left with the pattern mirrored
// (step -1). The previous pixel is x - step, so the cell below it, which
// pixel x completes, is below[x - step]: with step -1, the cell below x + 1.
template <int step> constexpr std::ptrdiff_t firstPixel(int32_t width) {
    return step > 0 ? 0 : width - 1;
}
template <int step> constexpr std::ptrdiff_t lastPixel(int32_t width) {
    return step > 0 ? width - 1 : 0;
}

// error: what row y has received from above; below: filled with what row
// y + 1 receives from row y, which is all it receives.
template <bool compensate, int step>
HALVEX_ALSO_FOR_AVX2 void floydSteinbergRow(const uint8_t* in, const int32_t* error, int32_t* below,
                                            int32_t width, uint8_t* out) {
    FloydSteinbergStep<compensate> pixel;
    for (std::ptrdiff_t i = 0; i < width; ++i) {
        const std::ptrdiff_t x = firstPixel<step>(width) + step * i;
        Lanes received;
        Lanes input;
        Lanes completed;
        readLanes(received, error + lanesPerPixel * x);
        readPixel(input, in + 3 * x);
        pixel.visit(input, received, out + 2 * x, completed);
        writeLanes(below + lanesPerPixel * (x - step), completed);
    }
    writeLanes(below + lanesPerPixel * lastPixel<step>(width), pixel.belowPrevious);
}

// error: what row y has received; fromTwoUp: what row y + 1 has received
// from row y - 1; below: filled with all that row y + 1 receives; twoBelow:
// filled with what row y + 2 receives from row y.
template <bool compensate, int step>
HALVEX_ALSO_FOR_AVX2 void atkinsonBoyleRow(const uint8_t* in, const int32_t* error,
                                           const int32_t* fromTwoUp, int32_t* below,
                                           int32_t* twoBelow, int32_t width, uint8_t* out) {
    AtkinsonBoyleStep<compensate> pixel;
    for (std::ptrdiff_t i = 0; i < width; ++i) {
        const std::ptrdiff_t x = firstPixel<step>(width) + step * i;
        Lanes received;
        Lanes earlier;
        Lanes input;
        Lanes completed;
        Lanes share;
        readLanes(received, error + lanesPerPixel * x);
        readLanes(earlier, fromTwoUp + lanesPerPixel * (x - step));
        readPixel(input, in + 3 * x);
        pixel.visit(input, received, earlier, out + 2 * x, completed, share);
        writeLanes(below + lanesPerPixel * (x - step), completed);
        writeLanes(twoBelow + lanesPerPixel * x, share);
    }
    const std::ptrdiff_t last = lastPixel<step>(width);
    Lanes earlier;
    readLanes(earlier, fromTwoUp + lanesPerPixel * last);
    writeLanes(below + lanesPerPixel * last, earlier + pixel.belowPrevious);
}

// Ordered dithering picks, for each channel, one of the two levels whose
// shown values (the field widened to 8 bits as a screen does it) enclose the
// channel's value: the upper one where the value's position between them
// exceeds the pixel's Bayer threshold, (index + 1/2) / 64. A flat area then
// averages to its colour as shown, within 1/128 of the gap.
const uint8_t bayerIndex[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// For each 8-bit value: the level below (or at) it, and how many of the 64
// Bayer indices take the level above, so that index i does when i < count.
struct OrderedLevels {
    uint8_t lower[256];
    uint8_t count[256];
};

OrderedLevels orderedLevels(int32_t topLevel, uint8_t (*shown)(uint32_t)) {
    OrderedLevels levels{};
    int32_t k = 0;
    for (int32_t value = 0; value < 256; ++value) {
        while (k < topLevel && shown(static_cast<uint32_t>(k) + 1) <= value)
            ++k;
        levels.lower[value] = static_cast<uint8_t>(k);
        if (k == topLevel)
            continue;
        const int32_t below = shown(static_cast<uint32_t>(k));
        const int32_t gap = shown(static_cast<uint32_t>(k) + 1) - below;
        int32_t count = 0;
        while (count < 64 && (value - below) * 128 > (2 * count + 1) * gap)
            ++count;
        levels.count[value] = static_cast<uint8_t>(count);
    }
    return levels;
}

// The level each Bayer index gives each 8-bit value, worked out once, so
// that a pixel costs a lookup a channel: 5-bit levels, and 6-bit ones; and
// the levels and counts they come from, which the wide-lane pass looks up.
struct OrderedTables {
    uint8_t five[64][256];
    uint8_t six[64][256];
    OrderedLevels fiveLevels;
    OrderedLevels sixLevels;
    OrderedTables()
        : fiveLevels(orderedLevels(31, widenFiveBits)), sixLevels(orderedLevels(63, widenSixBits)) {
        for (int32_t i = 0; i < 64; ++i) {
            for (int32_t value = 0; value < 256; ++value) {
                five[i][value] = static_cast<uint8_t>(fiveLevels.lower[value] +
                                                      (i < fiveLevels.count[value] ? 1 : 0));
                six[i][value] = static_cast<uint8_t>(sixLevels.lower[value] +
                                                     (i < sixLevels.count[value] ? 1 : 0));
            }
        }
    }
};

const OrderedTables& orderedTables() {
    static const OrderedTables tables;
    return tables;
}

// Every pixel on its own. A green that takes 5 bits under compensation is
// decided on red and blue's levels, so a grey gets one decision for all three,
// and sits where a 5-bit level does: its 6-bit field is twice the level.
template <bool compensate>
void orderedRow(const uint8_t* in, int32_t y, int32_t width, uint8_t* out) {
    const OrderedTables& tables = orderedTables();
    const uint8_t* indices = bayerIndex[y & 7];
    int32_t x = 0;
    if (wideLanePasses()) {
        const OrderedLevelTables levels{tables.fiveLevels.lower, tables.fiveLevels.count,
                                        tables.sixLevels.lower, tables.sixLevels.count};
        x = orderedPixels(in, width, indices, levels, compensate, out);
        in += 3 * static_cast<size_t>(x);
        out += 2 * static_cast<size_t>(x);
    }
    for (; x < width; ++x, in += 3, out += 2) {
        const int32_t i = indices[x & 7];
        const uint8_t* five = tables.five[i];
        const uint32_t r = in[0];
        const uint32_t g = in[1];
        const uint32_t b = in[2];
        const bool fiveBitGreen = compensate && (g == r || g == b);
        const uint32_t green = fiveBitGreen ? uint32_t{five[g]} << 1 : tables.six[i][g];
        putWord(out, static_cast<uint16_t>(uint32_t{five[r]} << 11 | green << 5 | five[b]));
    }
}

size_t errorRowEntries(int32_t width) {
    return lanesPerPixel * (static_cast<size_t>(width) + 2);
}

// An error array, cleared, pointing past its leading group; null for want
// of memory.
template <typename Lane> Lane* errorArray(int32_t width) {
    auto* block = static_cast<Lane*>(calloc(errorRowEntries(width), sizeof(Lane)));
    // cppcheck-suppress memleak ; endRowQuantiser frees it from the leading group
    return block == nullptr ? nullptr : block + lanesPerPixel;
}

int32_t errorRowsFor(DitherMethod method) {
    if (method == DitherMethod::floydSteinberg)
        return 2;
    return method == DitherMethod::atkinsonBoyle ? 4 : 0;
}

// Where row y is in the image's block.
const uint8_t* storedRow(const RowQuantiser* q, int32_t y) {
    const int32_t place = q->windowRows > 0 ? y % q->windowRows : y;
    return q->image.pixels + static_cast<size_t>(place) * 3 * static_cast<size_t>(q->image.width);
}

// Where the passes read row y: in place, or the last row's copy.
const uint8_t* inputRow(const RowQuantiser* q, int32_t y) {
    if (y == q->image.height - 1 && q->lastRow != nullptr)
        return q->lastRow;
    return storedRow(q, y);
}

template <bool compensate> void quantiseRow(RowQuantiser* q, uint8_t* out) {
    const uint8_t* in = inputRow(q, q->nextRow);
    int32_t** rows = q->errorRows;
    const int32_t width = q->image.width;
    const bool rightToLeft = q->serpentine && q->nextRow % 2 == 1;
    // Serpentine rows take the wide-lane passes where they run.
    uint16_t** lines = q->lineErrors;
    const bool lineRow = lines[0] != nullptr;
    switch (q->method) {
    case DitherMethod::floydSteinberg:
        if (lineRow) {
            floydSteinbergLineRow(in, lines[0], lines[1], width, out, compensate, rightToLeft);
            std::swap(lines[0], lines[1]);
        } else if (rightToLeft)
            floydSteinbergRow<compensate, -1>(in, rows[0], rows[1], width, out);
        else
            floydSteinbergRow<compensate, 1>(in, rows[0], rows[1], width, out);
        // What row y + 1 receives is complete: it is the next row's error.
        std::swap(rows[0], rows[1]);
        break;
    case DitherMethod::atkinsonBoyle:
        if (lineRow) {
            atkinsonBoyleLineRow(in, lines[0], lines[1], lines[2], lines[3], width, out, compensate,
                                 rightToLeft);
            std::swap(lines[0], lines[2]);
            std::swap(lines[1], lines[3]);
        } else if (rightToLeft)
            atkinsonBoyleRow<compensate, -1>(in, rows[0], rows[1], rows[2], rows[3], width, out);
        else
            atkinsonBoyleRow<compensate, 1>(in, rows[0], rows[1], rows[2], rows[3], width, out);
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

// Rows y to y + 3 at once where the four-row passes run (error diffusion
// left to right, on a processor that has them), leaving the error arrays as
// four single-row steps would. False, with nothing done, otherwise.
bool quantiseFourRows(RowQuantiser* q, uint8_t* out, size_t outRow) {
    if (q->fourRowScratch == nullptr)
        return false;
    const uint8_t* rows[4];
    for (int32_t k = 0; k < 4; ++k)
        rows[k] = inputRow(q, q->nextRow + k);
    int32_t** e = q->errorRows;
    const int32_t width = q->image.width;
    if (q->method == DitherMethod::floydSteinberg) {
        floydSteinbergFourRows(rows, e[0], e[1], width, out, outRow, q->compensate,
                               q->fourRowScratch);
        std::swap(e[0], e[1]);
    } else {
        atkinsonBoyleFourRows(rows, e[0], e[1], e[2], e[3], width, out, outRow, q->compensate,
                              q->fourRowScratch);
        std::swap(e[0], e[2]);
        std::swap(e[1], e[3]);
    }
    return true;
}

// Where the four-row passes can take the run's rows: their working space,
// else null (also when it cannot be had: the other passes give the same
// words).
uint8_t* fourRowScratchFor(const RgbImage& image, DitherMethod method, bool serpentine) {
    if (errorRowsFor(method) == 0 || serpentine || image.width <= 0 || image.height < 4 ||
        !wideLanePasses())
        return nullptr;
    return static_cast<uint8_t*>(malloc(fourRowScratchBytes(image.width)));
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

RowQuantiser* startRowQuantiser(const RgbImage& image, const Quantisation& quantisation,
                                int32_t windowRows) {
    auto* q = static_cast<RowQuantiser*>(malloc(sizeof(RowQuantiser)));
    if (q == nullptr)
        return nullptr;
    *q = RowQuantiser{};
    q->image = image;
    q->compensate = quantisation.greenCompensation;
    q->method = quantisation.method;
    q->windowRows = windowRows;
    const int32_t errorRows = errorRowsFor(quantisation.method);
    q->serpentine = quantisation.serpentine && errorRows > 0;
    // A serpentine run keeps its error in 16-bit lanes where its rows take
    // those passes, else in 32-bit ones. Either starts cleared: the arrays'
    // cells outside the image, which the passes carry along and never use,
    // are then the same on every run.
    const bool lineRows = q->serpentine && wideLanePasses();
    for (int32_t i = 0; i < errorRows; ++i) {
        const bool allocated =
            lineRows ? (q->lineErrors[i] = errorArray<uint16_t>(image.width)) != nullptr
                     : (q->errorRows[i] = errorArray<int32_t>(image.width)) != nullptr;
        if (!allocated) {
            endRowQuantiser(q);
            return nullptr;
        }
    }
    q->fourRowScratch = fourRowScratchFor(image, q->method, q->serpentine);
    if (errorRows > 0 && image.width > 0 && image.height > 0) {
        q->lastRow = static_cast<uint8_t*>(calloc(3 * static_cast<size_t>(image.width) + 1, 1));
        if (q->lastRow == nullptr) {
            endRowQuantiser(q);
            return nullptr;
        }
    }
    return q;
}

void quantiseNextRows(RowQuantiser* q, int32_t count, uint8_t* words) {
    const size_t outRow = 2 * static_cast<size_t>(q->image.width);
    const int32_t end = q->image.height - q->nextRow < count ? q->image.height : q->nextRow + count;
    // The last row is copied only when it is reached: rows may arrive
    // between calls.
    if (q->lastRow != nullptr && q->nextRow < end && end == q->image.height)
        memcpy(q->lastRow, storedRow(q, q->image.height - 1),
               3 * static_cast<size_t>(q->image.width));
    while (q->nextRow < end) {
        if (end - q->nextRow >= 4 && quantiseFourRows(q, words, outRow)) {
            q->nextRow += 4;
            words += 4 * outRow;
            continue;
        }
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
    if (q == nullptr)
        return;
    for (int32_t* row : q->errorRows)
        if (row != nullptr)
            free(row - lanesPerPixel);
    free(q->lastRow);
    free(q->fourRowScratch);
    for (uint16_t* row : q->lineErrors)
        if (row != nullptr)
            free(row - lanesPerPixel);
    free(q);
}

bool quantiseRows(const RgbImage& image, const Quantisation& quantisation, uint8_t* words) {
    RowQuantiser* q = startRowQuantiser(image, quantisation);
    if (q == nullptr)
        return false;
    quantiseNextRows(q, image.height, words);
    endRowQuantiser(q);
    return true;
}
