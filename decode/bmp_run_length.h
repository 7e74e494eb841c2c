// The run-length data of BMP compression 1 (8-bit indices) and 2 (4-bit
// indices, two to a byte), expanded for the standard BMP reader.
#pragma once

#include "platform/status.h"

#include <cstdint>

// Expands the data from `from` to `end` into indices, width x rows bytes in
// stored row order (row 0 is the bottom row of a bottom-up file), which the
// caller has zeroed: pixels the runs skip keep index 0. CutShort when the
// data ends before the end-of-picture escape or the last row.
Reason expandRunLength(const uint8_t* from, const uint8_t* end, bool nibbles, int32_t width,
                       int32_t rows, uint8_t* indices);
