// Error diffusion over the working plane. Cells are visited row by row, left
// to right, red, green and blue of each pixel in turn; each is clamped to
// 65535, quantised by masking, and its error (the masked-off low part) is
// spread to later cells of the same channel, three columns apart.
#include "tests/reference/plane_cells.h"
#include "tests/reference/reference.h"

void ditherFloydSteinberg(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                          int32_t greenCompensation) {
    for (int32_t y = 0; y < height; ++y) {
        int32_t* row = P[y];
        int32_t* below = P[y + 1];
        int32_t* out = Q[y];
        for (int32_t j = 0; j < 3 * width; ++j) {
            const int32_t s = clampInPlace(&row[j]);
            const bool five = cellTakesFiveBits(row, j, s, greenCompensation);
            const int32_t e = s & errorMask(five);
            row[j + 3] += (e * 7) >> 4;
            if (j >= 3)
                below[j - 3] += (e * 3) >> 4;
            below[j] += (e * 5) >> 4;
            below[j + 3] += e >> 4;
            out[j] = s & levelMask(five);
        }
    }
}

void ditherAtkinsonBoyle(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                         int32_t greenCompensation) {
    for (int32_t y = 0; y < height; ++y) {
        int32_t* row = P[y];
        int32_t* below = P[y + 1];
        int32_t* twoBelow = P[y + 2];
        int32_t* out = Q[y];
        for (int32_t j = 0; j < 3 * width; ++j) {
            const int32_t s = clampInPlace(&row[j]);
            const bool five = cellTakesFiveBits(row, j, s, greenCompensation);
            const int32_t e = s & errorMask(five);
            const int32_t share = e >> 3;
            row[j + 3] += share;
            row[j + 6] += share;
            if (j >= 3)
                below[j - 3] += share;
            below[j] += share;
            below[j + 3] += share;
            twoBelow[j] += share;
            out[j] = s & levelMask(five);
        }
    }
}
