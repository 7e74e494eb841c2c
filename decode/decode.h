// Everything that turns a file's bytes into a picture beside the compatible
// loader: format detection, the PNG/JPEG/GIF library glue with its
// pre-checks, the standard BMP and TGA readers, what the compatible reader is
// known to misread, the load reasons and the EXIF orientation. Each decoder
// returns an RGBA picture or a reason, never half a picture.
#pragma once

#include "decode/reasons.h"
#include "image/image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A picture of about 100 megapixels is the most a file may claim unless the
// user raises the limit: a 12000 x 8000 photo fits, a 30000 x 30000 claim
// does not.
constexpr int64_t defaultMaxPixels = 100000000;

// Red, green, blue, alpha per pixel, rows from the top; malloc'd block of
// width x height x 4 bytes.
struct RgbaPicture {
    int32_t width;
    int32_t height;
    uint8_t* pixels;
};

// The decoders behind the reading of a picture. Each returns None and fills out, or a
// failure with nothing allocated.
Reason decodeGeneral(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
Reason decodeStandardBmp(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
Reason decodeStandardTga(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);

// A colour field of 1 to 32 bits widened to 8 bits.
uint8_t widenField(uint32_t field, int bits);

// Whether the bytes begin like a PNG, JPEG or GIF file.
bool isGeneralFormat(const uint8_t* data, size_t size);

// The compatible reader's known misreadings of a BMP or TGA file that it
// reads, and its reason for refusing one that the standard reader reads.
std::vector<Reason> compatibleWarnings(const uint8_t* data, size_t size, int64_t maxPixels);
Reason compatibleRefusal(const uint8_t* data, size_t size);

// Whether compatibleWarnings needs the whole file rather than its first
// 4096 bytes: for the alpha of 16- and 32-bit BMP files.
bool compatibleWarningsNeedPixels(const uint8_t* data, size_t size);

// The pixel count that a BMP or TGA header claims, as the compatible reader
// takes it; false when the header is incomplete.
bool compatibleSize(const uint8_t* data, size_t size, int64_t* pixels);

// The EXIF orientation (1 to 8) of a JPEG file; 1 when there is none or the
// EXIF block is damaged.
int jpegOrientation(const uint8_t* data, size_t size);
