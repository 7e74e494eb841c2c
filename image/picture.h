// The command line's reading of a picture: the general decoder (PNG, JPEG,
// GIF), the standard BMP and TGA reader, transparency over a background,
// JPEG orientation and resizing. The dialog never comes here: it reads
// through loadImage() alone.
#pragma once

#include "image/image.h"
#include "image/load_reason.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum class Decoder { Compatible, Standard };
enum class Fit { Contain, Cover, Stretch };
enum class ResizeFilter { Default, Nearest, Box, Triangle, CatmullRom, Mitchell };

// A picture of about 100 megapixels is the most a file may claim unless the
// user raises the limit: a 12000 x 8000 photo fits, a 30000 x 30000 claim
// does not.
constexpr int64_t defaultMaxPixels = 100000000;

struct ReadingChoices {
    Decoder decoder = Decoder::Compatible;
    uint32_t background = 0x000000; // 0xRRGGBB
    int32_t resizeWidth = 0;        // 0: not given
    int32_t resizeHeight = 0;
    Fit fit = Fit::Contain;
    ResizeFilter filter = ResizeFilter::Default;
    int64_t maxPixels = defaultMaxPixels;
};

// Red, green, blue, alpha per pixel, rows from the top; malloc'd block of
// width x height x 4 bytes.
struct RgbaPicture {
    int32_t width;
    int32_t height;
    uint8_t* pixels;
};

// What reading one file gave: the picture (pixels malloc'd, owned by the
// caller) or the reason for the failure, and any warnings.
struct PictureLoad {
    RgbImage image{};
    LoadReason failure = LoadReason::None;
    std::vector<LoadReason> warnings;
};

// Reads the picture in the stream (opened "rb", positioned at its start).
PictureLoad readPicture(FILE* stream, const ReadingChoices& choices);

// The decoders behind readPicture. Each returns None and fills out, or a
// failure with nothing allocated.
LoadReason decodeGeneral(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
LoadReason decodeStandardBmp(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);
LoadReason decodeStandardTga(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out);

// A colour field of 1 to 32 bits widened to 8 bits.
uint8_t widenField(uint32_t field, int bits);

// Whether the bytes begin like a PNG, JPEG or GIF file.
bool isGeneralFormat(const uint8_t* data, size_t size);

// The compatible reader's known misreadings of a BMP or TGA file that it
// reads, and its reason for refusing one that the standard reader reads.
std::vector<LoadReason> compatibleWarnings(const uint8_t* data, size_t size, int64_t maxPixels);
LoadReason compatibleRefusal(const uint8_t* data, size_t size);

// Whether compatibleWarnings needs the whole file rather than its first
// 4096 bytes: for the alpha of 16- and 32-bit BMP files.
bool compatibleWarningsNeedPixels(const uint8_t* data, size_t size);

// The pixel count that a BMP or TGA header claims, as the compatible reader
// takes it; false when the header is incomplete.
bool compatibleSize(const uint8_t* data, size_t size, int64_t* pixels);

// Each pixel over the background: (c * a + bg * (255 - a) + 127) / 255.
// Returns a malloc'd RGB block, or null when memory runs out.
uint8_t* composeOver(const RgbaPicture& picture, uint32_t background);

// The EXIF orientation (1 to 8) of a JPEG file; 1 when there is none or the
// EXIF block is damaged.
int jpegOrientation(const uint8_t* data, size_t size);

// Turns the picture so that orientation 1 results; the old block is released
// on success. False when memory runs out.
bool applyOrientation(RgbImage* image, int orientation);

// Scales to the size asked for; the old block is released on success.
LoadReason resizePicture(RgbImage* image, const ReadingChoices& choices);

// The output size of a resize of a width x height picture.
struct ResizePlan {
    int32_t width; // final picture
    int32_t height;
    int32_t innerWidth;  // the scaled picture inside it (contain) or
    int32_t innerHeight; // the whole frame (cover, stretch)
    int32_t cropX;       // source region scaled (cover crops it)
    int32_t cropY;
    int32_t cropWidth;
    int32_t cropHeight;
};
ResizePlan planResize(int32_t width, int32_t height, const ReadingChoices& choices);
