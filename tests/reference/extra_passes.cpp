// The passes only the command line offers, written straightforwardly over the
// two planes: the row-wise run (quantise_rows.cpp) is checked against them.
//
// Serpentine error diffusion walks odd rows right to left and mirrors the
// pattern there, so the error of a scan line does not always travel the same
// way and leave diagonal streaks. Within a pixel the channels are still
// visited red, green, blue, so green's compensation test sees the same
// values it sees in the plain passes: its red clamped and final, its blue with
// all the error it will receive.
//
// Ordered dithering decides each channel between the two levels whose
// shown values (the field's bits repeated down to 8 bits, as a screen shows
// them) enclose the channel's 8-bit value, against a threshold from an 8 x 8
// Bayer matrix. Each word depends only on its own pixel and position:
// nothing moves when a neighbour changes, and a flat area of any colour
// averages, as shown, to that colour.
#include "tests/reference/plane_cells.h"
#include "tests/reference/reference.h"

#include <cstddef>

namespace {

// Adds a share to channel c of pixel x. Left of the image it is dropped;
// past the right edge it lands in the margin columns.
inline void addShare(int32_t* row, int32_t x, int32_t c, int32_t share) {
    if (x >= 0)
        row[3 * x + c] += share;
}

// x of the i-th pixel visited in row y, and the direction of "ahead".
inline int32_t serpentineX(int32_t i, int32_t y, int32_t width) {
    return y % 2 == 0 ? i : width - 1 - i;
}
inline int32_t serpentineStep(int32_t y) {
    return y % 2 == 0 ? 1 : -1;
}

// The recursive Bayer matrix: within each 2 x 2 block the order is 0 2 / 3 1,
// and the finest blocks weigh most.
int32_t bayerIndex(int32_t x, int32_t y) {
    int32_t index = 0;
    for (int32_t bit = 0; bit < 3; ++bit) {
        const int32_t xBit = (x >> bit) & 1;
        const int32_t yBit = (y >> bit) & 1;
        index += (2 * (xBit ^ yBit) + yBit) << (2 * (2 - bit));
    }
    return index;
}

int32_t shownValue(int32_t level, int32_t bits) {
    return (level << (8 - bits)) | (level >> (2 * bits - 8));
}

// The level of a field of `bits` bits for an 8-bit value: the highest level
// shown at or below it, or the next one up where the value's position between
// the two exceeds the threshold (index + 1/2) / 64.
int32_t orderedLevel(int32_t value, int32_t bits, int32_t index) {
    const int32_t top = (1 << bits) - 1;
    int32_t k = 0;
    while (k < top && shownValue(k + 1, bits) <= value)
        ++k;
    if (k == top)
        return top;
    const int32_t below = shownValue(k, bits);
    const int32_t above = shownValue(k + 1, bits);
    return (value - below) * 128 > (2 * index + 1) * (above - below) ? k + 1 : k;
}

} // namespace

void ditherFloydSteinbergSerpentine(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                                    int32_t greenCompensation) {
    for (int32_t y = 0; y < height; ++y) {
        int32_t* row = P[y];
        int32_t* below = P[y + 1];
        const int32_t ahead = serpentineStep(y);
        for (int32_t i = 0; i < width; ++i) {
            const int32_t x = serpentineX(i, y, width);
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t j = 3 * x + c;
                const int32_t s = clampInPlace(&row[j]);
                const bool five = cellTakesFiveBits(row, j, s, greenCompensation);
                const int32_t e = s & errorMask(five);
                addShare(row, x + ahead, c, (e * 7) >> 4);
                addShare(below, x - ahead, c, (e * 3) >> 4);
                addShare(below, x, c, (e * 5) >> 4);
                addShare(below, x + ahead, c, e >> 4);
                Q[y][j] = s & levelMask(five);
            }
        }
    }
}

void ditherAtkinsonBoyleSerpentine(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                                   int32_t greenCompensation) {
    for (int32_t y = 0; y < height; ++y) {
        int32_t* row = P[y];
        int32_t* below = P[y + 1];
        int32_t* twoBelow = P[y + 2];
        const int32_t ahead = serpentineStep(y);
        for (int32_t i = 0; i < width; ++i) {
            const int32_t x = serpentineX(i, y, width);
            for (int32_t c = 0; c < 3; ++c) {
                const int32_t j = 3 * x + c;
                const int32_t s = clampInPlace(&row[j]);
                const bool five = cellTakesFiveBits(row, j, s, greenCompensation);
                const int32_t share = (s & errorMask(five)) >> 3;
                addShare(row, x + ahead, c, share);
                addShare(row, x + 2 * ahead, c, share);
                addShare(below, x - ahead, c, share);
                addShare(below, x, c, share);
                addShare(below, x + ahead, c, share);
                addShare(twoBelow, x, c, share);
                Q[y][j] = s & levelMask(five);
            }
        }
    }
}

void ditherOrdered(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                   int32_t greenCompensation) {
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const int32_t* in = P[y] + 3 * static_cast<std::ptrdiff_t>(x);
            int32_t* out = Q[y] + 3 * static_cast<std::ptrdiff_t>(x);
            const int32_t index = bayerIndex(x & 7, y & 7);
            const auto fiveBitLevel = [index](int32_t scaled) {
                return orderedLevel(scaled / 257, 5, index) << 11;
            };
            // A 5-bit green is decided as red and blue are and keeps its
            // place on the working scale: its 6-bit field is twice the level.
            const bool greenFive = greenTakesFiveBits(in[1], in[0], in[2], greenCompensation);
            out[0] = fiveBitLevel(in[0]);
            out[1] = greenFive ? fiveBitLevel(in[1]) : orderedLevel(in[1] / 257, 6, index) << 10;
            out[2] = fiveBitLevel(in[2]);
        }
    }
}
