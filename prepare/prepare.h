// Picture to RgbImage: the command line's and the page's reading of a file
// with its options. The right decoder (decode/) or the compatible loader,
// then transparency over a background, the EXIF turn and resizing. The dialog
// never comes here: it reads through loadImage() alone.
#pragma once

#include "decode/decode.h"

#include <cstdint>
#include <vector>

enum class Decoder { Compatible, Standard };
enum class Fit { Contain, Cover, Stretch };
enum class ResizeFilter { Default, Nearest, Box, Triangle, CatmullRom, Mitchell };

struct ReadingChoices {
    Decoder decoder = Decoder::Compatible;
    uint32_t background = 0x000000; // 0xRRGGBB
    int32_t resizeWidth = 0;        // 0: not given
    int32_t resizeHeight = 0;
    Fit fit = Fit::Contain;
    ResizeFilter filter = ResizeFilter::Default;
    int64_t maxPixels = defaultMaxPixels;
};

// What reading one file gave: the picture (pixels malloc'd, owned by the
// caller) or the reason for the failure, and any warnings.
struct PictureLoad {
    RgbImage image{};
    Reason failure = Reason::None;
    std::vector<Reason> warnings;
};

// Reads the picture in the stream (opened "rb", positioned at its start).
PictureLoad readPicture(FILE* stream, const ReadingChoices& choices);

// Each pixel over the background: (c * a + bg * (255 - a) + 127) / 255.
// Returns a malloc'd RGB block, or null when memory runs out.
uint8_t* composeOver(const RgbaPicture& picture, uint32_t background);

// Turns the picture so that orientation 1 results; the old block is released
// on success. False when memory runs out.
bool applyOrientation(RgbImage* image, int orientation);

// Scales to the size asked for; the old block is released on success.
Reason resizePicture(RgbImage* image, const ReadingChoices& choices);

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
