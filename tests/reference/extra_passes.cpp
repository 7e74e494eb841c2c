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
// Ordered dithering adds a threshold from an 8 x 8 Bayer matrix before
// masking, so each word depends only on its own pixel and position: nothing
// moves when a neighbour changes, and a flat area of any colour averages to
// that colour within one step.
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
            const int32_t t = orderedThreshold(x, y);
            const auto level = [t](int32_t value, bool five) {
                const int32_t raised = value + (five ? t : t / 2);
                return (raised > maxLevel ? maxLevel : raised) & levelMask(five);
            };
            const bool greenFive = greenTakesFiveBits(in[1], in[0], in[2], greenCompensation);
            out[0] = level(in[0], true);
            out[1] = level(in[1], greenFive);
            out[2] = level(in[2], true);
        }
    }
}
