// The decoders behind decodePicture, inside the room (and for the tests that
// check each against reference decodings). Each returns None and fills out,
// or a failure with nothing allocated.
#pragma once

#include "decode/decode.h"

#include <cstddef>
#include <cstdint>

Reason decodeGeneral(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
Reason decodeStandardBmp(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
Reason decodeStandardTga(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);

// Whether the bytes begin with "BM", the mark of a BMP file.
bool isBmp(const uint8_t* data, size_t size);

// Makes every pixel opaque when all alpha is zero: a fourth byte that is
// zero everywhere was never meant as alpha.
void opaqueUnlessAnyAlpha(uint8_t* rgba, size_t count);
