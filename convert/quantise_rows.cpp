// The conversion run's quantisation, one image row at a time.
//
// Both passes push error only along the row (one pixel ahead for
// Floyd-Steinberg, two for Atkinson-Boyle) and into the one or two rows
// below. So instead of two full planes the run keeps, per channel, the error
// travelling along the row in a few locals, and for each of the next rows an
// array of the error that has reached it so far. A cell's working value is
// then its scaled input plus the error it has received, clamped when it is
// visited: the same sum, visited in the same order, as on the full planes,
// so every pixel word comes out the same. Error that the full-plane passes
// push into the margins is simply not kept.
//
// Error arrays hold three entries per pixel and one pixel more in front: the
// share "below and to the left" of pixel 0, which the passes drop, lands
// there and is never read, so the loops need no test for the left edge.
#include "convert/convert.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t maxLevel = 65535;

inline int32_t scaled(uint8_t value) {
    return value * 257;
}
inline int32_t clampLevel(int32_t value) {
    return value > maxLevel ? maxLevel : value;
}

inline void putWord(uint8_t* out, int32_t red, int32_t green, int32_t blue) {
    const auto word = static_cast<uint16_t>(red + (green >> 5) + (blue >> 11));
    out[0] = static_cast<uint8_t>(word & 0xFF);
    out[1] = static_cast<uint8_t>(word >> 8);
}

// Under compensation green takes 5 bits when it equals the pixel's red
// (clamped) or its blue as it stands before its own visit: input plus all the
// error it will receive, not clamped. Both passes have delivered all of the
// blue's error by then, since only earlier cells feed it.
template <bool compensate>
inline bool greenTakesFiveBits(int32_t green, int32_t red, int32_t unclampedBlue) {
    return compensate && (green == red || green == unclampedBlue);
}

inline int32_t greenErrorMask(bool five) {
    return five ? 0x07FF : 0x03FF;
}
inline int32_t greenLevelMask(bool five) {
    return five ? 0xF800 : 0xFC00;
}

template <bool compensate> void plainRow(const uint8_t* in, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, in += 3, out += 2) {
        const int32_t r = scaled(in[0]);
        const int32_t g = scaled(in[1]);
        const int32_t b = scaled(in[2]);
        const bool five = greenTakesFiveBits<compensate>(g, r, b);
        putWord(out, r & 0xF800, g & greenLevelMask(five), b & 0xF800);
    }
}

// What one Floyd-Steinberg channel carries while a row is walked: 7/16 of
// the last error for the next pixel, and the sums gathered so far for the
// cell below the previous pixel (1/16 from the one before it, 5/16 from it)
// and for the cell below this pixel (1/16 from the previous pixel).
struct FloydSteinbergCarry {
    int32_t next = 0;
    int32_t belowPrevious = 0;
    int32_t belowThis = 0;
};

// Spreads error e of this pixel's channel. The cell below the previous pixel
// gets its last share (3/16) here, so it is stored rather than added to.
inline void spreadFloydSteinberg(FloydSteinbergCarry& carry, int32_t e, int32_t* belowPrevious) {
    carry.next = (e * 7) >> 4;
    *belowPrevious = carry.belowPrevious + ((e * 3) >> 4);
    carry.belowPrevious = carry.belowThis + ((e * 5) >> 4);
    carry.belowThis = e >> 4;
}

// error: what row y has received from above; below: filled with what row
// y + 1 receives from row y (row y + 1 gets nothing from further up).
template <bool compensate>
void floydSteinbergRow(const uint8_t* in, const int32_t* error, int32_t* below, int32_t width,
                       uint8_t* out) {
    FloydSteinbergCarry red, green, blue;
    for (int32_t x = 0; x < width; ++x, in += 3, error += 3, below += 3, out += 2) {
        const int32_t r = clampLevel(scaled(in[0]) + error[0] + red.next);
        const int32_t g = clampLevel(scaled(in[1]) + error[1] + green.next);
        const int32_t unclampedBlue = scaled(in[2]) + error[2] + blue.next;
        const int32_t b = clampLevel(unclampedBlue);
        const bool five = greenTakesFiveBits<compensate>(g, r, unclampedBlue);
        spreadFloydSteinberg(red, r & 0x07FF, below - 3);
        spreadFloydSteinberg(green, g & greenErrorMask(five), below - 2);
        spreadFloydSteinberg(blue, b & 0x07FF, below - 1);
        putWord(out, r & 0xF800, g & greenLevelMask(five), b & 0xF800);
    }
    below[-3] = red.belowPrevious;
    below[-2] = green.belowPrevious;
    below[-1] = blue.belowPrevious;
}

// What one Atkinson-Boyle channel carries along a row: the shares already
// owed to this pixel and to the next one, and the sums gathered for the cells
// below the previous pixel and below this one.
struct AtkinsonBoyleCarry {
    int32_t here = 0;
    int32_t next = 0;
    int32_t belowPrevious = 0;
    int32_t belowThis = 0;
};

// Spreads one eighth of error e to the next two pixels, to the three cells
// below and to the cell two rows below. The cell below the previous pixel is
// complete after this pixel's share: it is stored, on top of what it had
// from two rows up.
inline void spreadAtkinsonBoyle(AtkinsonBoyleCarry& carry, int32_t e, int32_t fromTwoUp,
                                int32_t* belowPrevious, int32_t* twoBelow) {
    const int32_t share = e >> 3;
    carry.here = carry.next + share;
    carry.next = share;
    *belowPrevious = fromTwoUp + carry.belowPrevious + share;
    carry.belowPrevious = carry.belowThis + share;
    carry.belowThis = share;
    *twoBelow = share;
}

// error: what row y has received; fromTwoUp: what row y + 1 has received from
// row y - 1; below: filled with all that row y + 1 receives; twoBelow: filled
// with what row y + 2 receives from row y.
template <bool compensate>
void atkinsonBoyleRow(const uint8_t* in, const int32_t* error, const int32_t* fromTwoUp,
                      int32_t* below, int32_t* twoBelow, int32_t width, uint8_t* out) {
    AtkinsonBoyleCarry red, green, blue;
    for (int32_t x = 0; x < width;
         ++x, in += 3, error += 3, fromTwoUp += 3, below += 3, twoBelow += 3, out += 2) {
        const int32_t r = clampLevel(scaled(in[0]) + error[0] + red.here);
        const int32_t g = clampLevel(scaled(in[1]) + error[1] + green.here);
        const int32_t unclampedBlue = scaled(in[2]) + error[2] + blue.here;
        const int32_t b = clampLevel(unclampedBlue);
        const bool five = greenTakesFiveBits<compensate>(g, r, unclampedBlue);
        spreadAtkinsonBoyle(red, r & 0x07FF, fromTwoUp[-3], below - 3, twoBelow);
        spreadAtkinsonBoyle(green, g & greenErrorMask(five), fromTwoUp[-2], below - 2,
                            twoBelow + 1);
        spreadAtkinsonBoyle(blue, b & 0x07FF, fromTwoUp[-1], below - 1, twoBelow + 2);
        putWord(out, r & 0xF800, g & greenLevelMask(five), b & 0xF800);
    }
    below[-3] = fromTwoUp[-3] + red.belowPrevious;
    below[-2] = fromTwoUp[-2] + green.belowPrevious;
    below[-1] = fromTwoUp[-1] + blue.belowPrevious;
}

// Zeroed error rows of one pixel more than the image; each pointer is
// advanced past that leading pixel.
struct ErrorRows {
    int32_t* row[4];
    int32_t count;
};

bool allocErrorRows(ErrorRows* rows, int32_t count, int32_t width) {
    rows->count = 0;
    const size_t entries = 3 * (static_cast<size_t>(width) + 1);
    for (int32_t i = 0; i < count; ++i) {
        auto* block = static_cast<int32_t*>(calloc(entries, sizeof(int32_t)));
        if (block == nullptr)
            return false;
        rows->row[i] = block + 3;
        rows->count = i + 1;
    }
    return true;
}

void freeErrorRows(ErrorRows* rows) {
    for (int32_t i = 0; i < rows->count; ++i)
        free(rows->row[i] - 3);
    rows->count = 0;
}

template <bool compensate> void plainRows(const RgbImage& image, uint8_t* words) {
    const size_t inRow = 3 * static_cast<size_t>(image.width);
    const size_t outRow = 2 * static_cast<size_t>(image.width);
    for (int32_t y = 0; y < image.height; ++y)
        plainRow<compensate>(image.pixels + y * inRow, image.width, words + y * outRow);
}

template <bool compensate> bool floydSteinbergRows(const RgbImage& image, uint8_t* words) {
    ErrorRows rows{};
    if (!allocErrorRows(&rows, 2, image.width)) {
        freeErrorRows(&rows);
        return false;
    }
    int32_t* error = rows.row[0];
    int32_t* below = rows.row[1];
    const size_t inRow = 3 * static_cast<size_t>(image.width);
    const size_t outRow = 2 * static_cast<size_t>(image.width);
    for (int32_t y = 0; y < image.height; ++y) {
        floydSteinbergRow<compensate>(image.pixels + y * inRow, error, below, image.width,
                                      words + y * outRow);
        int32_t* done = error;
        error = below;
        below = done;
    }
    freeErrorRows(&rows);
    return true;
}

template <bool compensate> bool atkinsonBoyleRows(const RgbImage& image, uint8_t* words) {
    ErrorRows rows{};
    if (!allocErrorRows(&rows, 4, image.width)) {
        freeErrorRows(&rows);
        return false;
    }
    int32_t* error = rows.row[0];
    int32_t* fromTwoUp = rows.row[1];
    int32_t* below = rows.row[2];
    int32_t* twoBelow = rows.row[3];
    const size_t inRow = 3 * static_cast<size_t>(image.width);
    const size_t outRow = 2 * static_cast<size_t>(image.width);
    for (int32_t y = 0; y < image.height; ++y) {
        atkinsonBoyleRow<compensate>(image.pixels + y * inRow, error, fromTwoUp, below, twoBelow,
                                     image.width, words + y * outRow);
        // Row y + 1 is complete in below; what row y + 2 has so far is in
        // twoBelow. The two arrays just read are free for the next row.
        int32_t* freeRow = error;
        error = below;
        below = freeRow;
        int32_t* freeTwoUp = fromTwoUp;
        fromTwoUp = twoBelow;
        twoBelow = freeTwoUp;
    }
    freeErrorRows(&rows);
    return true;
}

} // namespace

bool quantiseRows(const RgbImage& image, int32_t greenCompensation, DitherMode mode,
                  uint8_t* words) {
    const bool compensate = greenCompensation != 0;
    if (mode == ditherFloydSteinbergMode)
        return compensate ? floydSteinbergRows<true>(image, words)
                          : floydSteinbergRows<false>(image, words);
    if (mode == ditherAtkinsonBoyleMode)
        return compensate ? atkinsonBoyleRows<true>(image, words)
                          : atkinsonBoyleRows<false>(image, words);
    if (compensate)
        plainRows<true>(image, words);
    else
        plainRows<false>(image, words);
    return true;
}
