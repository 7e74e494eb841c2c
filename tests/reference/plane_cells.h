// What the full-plane passes do to a cell of the working plane, written once
// for all of them. Internal to the reference passes.
#pragma once

#include "convert/working_scale.h"

#include <cstdint>

// Cells are clamped when they are visited, after all their error has come.
inline int32_t clampInPlace(int32_t* cell) {
    if (*cell > maxLevel)
        *cell = maxLevel;
    return *cell;
}

// Under compensation green takes 5 bits when it equals its pixel's red or
// blue. In the error-diffusion passes that is the red clamped and final and
// the blue as it stands (error received so far, not yet clamped).
inline bool greenTakesFiveBits(int32_t green, int32_t red, int32_t blue,
                               int32_t greenCompensation) {
    return greenCompensation != 0 && (green == red || green == blue);
}

// Red and blue always take 5 bits; green, cell 1 of its pixel, as above.
inline bool cellTakesFiveBits(const int32_t* row, int32_t j, int32_t s, int32_t greenCompensation) {
    return j % 3 != 1 || greenTakesFiveBits(s, row[j - 1], row[j + 1], greenCompensation);
}
