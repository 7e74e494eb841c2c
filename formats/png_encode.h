// PNG files of 8-bit RGB pictures, for previews and contact sheets.
#pragma once

#include <cstdint>
#include <vector>

// The bytes of a PNG file of width x height RGB pixels (rows from the top,
// no padding). Empty when the picture cannot be encoded: no pixels, too large
// for the encoder's 32-bit sizes, or no memory.
std::vector<uint8_t> encodePngRgb(const uint8_t* rgb, int32_t width, int32_t height);
