// PNG files of 8-bit RGB pictures. (Placeholder: returns nothing yet.)
#pragma once

#include <cstdint>
#include <vector>

// The bytes of a PNG file of width x height RGB pixels (rows from the top,
// no padding). Empty when the picture cannot be encoded.
std::vector<uint8_t> encodePngRgb(const uint8_t* rgb, int32_t width, int32_t height);
