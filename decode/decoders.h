// The decoders behind decodePicture, inside the room (and for the tests that
// check each against reference decodings). Each returns None and fills out,
// or a failure with nothing allocated; colour and warnings may be null.
#pragma once

#include "decode/decode.h"

#include <cstddef>
#include <cstdint>
#include <vector>

Reason decodePng(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                 ColourSpace* colour);
Reason decodeJpeg(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                  ColourSpace* colour, std::vector<Reason>* warnings);
Reason decodeGif(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
Reason decodeWebp(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                  ColourSpace* colour);
Reason decodeStandardBmp(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
Reason decodeStandardTga(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);

// The JPEG and PNG halves of the decoding by rows (decode.h's PictureRows):
// a start that gives None with *rows null for a file not read so.
struct JpegRows;
Reason startJpegRows(const uint8_t* data, size_t size, int64_t maxPixels, ColourSpace* colour,
                     JpegRows** rows, int32_t* width, int32_t* height);
Reason readJpegRows(JpegRows* rows, int32_t count, uint8_t* pixels);
void endJpegRows(JpegRows* rows, std::vector<Reason>* warnings);
struct PngRows;
Reason startPngRows(const uint8_t* data, size_t size, int64_t maxPixels, ColourSpace* colour,
                    PngRows** rows, int32_t* width, int32_t* height);
Reason readPngRows(PngRows* rows, int32_t count, uint8_t* pixels);
void endPngRows(PngRows* rows);

// PNG, JPEG, GIF or WebP by its signature; anything else is UnknownFormat.
Reason decodeGeneral(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                     ColourSpace* colour = nullptr, std::vector<Reason>* warnings = nullptr);

// Whether the bytes begin with "BM", the mark of a BMP file.
bool isBmp(const uint8_t* data, size_t size);

// Whether the 18-byte header could be a TGA file's that decodeStandardTga
// reads: a known image type, colour-map type 0 or 1, a pixel depth valid for
// the type, and a width and height above zero.
bool plausibleTga(const uint8_t* data, size_t size);

// Makes every pixel opaque when all alpha is zero: a fourth byte that is
// zero everywhere was never meant as alpha.
void opaqueUnlessAnyAlpha(uint8_t* rgba, size_t count);

// A malloc'd block of width x height RGBA pixels, or null; the caller has
// checked the count against the pixel limit.
uint8_t* allocatePixels(int32_t width, int32_t height, bool cleared);
