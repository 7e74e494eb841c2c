#include "tests/reference/plane_cells.h"
#include "tests/reference/reference.h"

#include <cstdlib>

ChannelPlane allocPlane(int32_t columns, int32_t rows) {
    if (columns <= 0 || rows <= 0)
        return nullptr;
    auto* plane = static_cast<ChannelPlane>(calloc(static_cast<size_t>(rows), sizeof(int32_t*)));
    if (plane == nullptr)
        return nullptr;
    for (int32_t y = 0; y < rows; ++y) {
        plane[y] = static_cast<int32_t*>(calloc(static_cast<size_t>(columns), sizeof(int32_t)));
        if (plane[y] == nullptr) {
            freePlane(plane, y);
            return nullptr;
        }
    }
    return plane;
}

void freePlane(ChannelPlane plane, int32_t rows) {
    if (plane == nullptr)
        return;
    for (int32_t y = 0; y < rows; ++y)
        free(plane[y]);
    free(plane);
}

void quantisePlain(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                   int32_t greenCompensation) {
    for (int32_t y = 0; y < height; ++y) {
        const int32_t* in = P[y];
        int32_t* out = Q[y];
        for (int32_t j = 0; j < 3 * width; j += 3) {
            const int32_t r = in[j];
            const int32_t g = in[j + 1];
            const int32_t b = in[j + 2];
            out[j] = r & fiveBitLevelMask;
            out[j + 1] = g & levelMask(greenTakesFiveBits(g, r, b, greenCompensation));
            out[j + 2] = b & fiveBitLevelMask;
        }
    }
}
