// Picture to RgbImage: readPicture is the command line's and the page's
// reading of a file with its options. The right decoder (decode/) or the
// compatible loader, then the file's colour profile to sRGB, transparency
// over a background, the EXIF turn and resizing. The failure and the
// warnings are reasons, put into words by describeReason (decode/reasons.h).
// The dialog never comes here: it reads through loadImage() alone.
#pragma once

#include "decode/decode.h"
#include "decode/reasons.h"
#include "image/image.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

enum class Decoder { Compatible, Standard };
enum class Fit { Contain, Cover, Stretch };
enum class ResizeFilter { Default, Nearest, Box, Triangle, CatmullRom, Mitchell };
// Convert: a picture with an embedded profile (or PNG gAMA/cHRM) is turned
// into sRGB; Ignore: its stored values are taken as sRGB.
enum class ColourProfile { Convert, Ignore };

struct ReadingChoices {
    Decoder decoder = Decoder::Compatible;
    uint32_t background = 0x000000; // 0xRRGGBB
    int32_t resizeWidth = 0;        // 0: not given
    int32_t resizeHeight = 0;
    Fit fit = Fit::Contain;
    ResizeFilter filter = ResizeFilter::Default;
    int64_t maxPixels = defaultMaxPixels;
    ColourProfile colourProfile = ColourProfile::Convert;
};

// What reading one file gave: the picture (pixels malloc'd, owned by the
// caller) or the reason for the failure, any warnings, and the colour space
// the file declares (empty for sRGB or none).
struct PictureLoad {
    RgbImage image{};
    Reason failure = Reason::None;
    std::vector<Reason> warnings;
    ColourSpace colour;
    // What the pixels were converted to sRGB from, in words ("the embedded
    // profile \"Display P3\"", "the file's gAMA 0.45455"); empty when they
    // were not.
    std::string colourConvertedFrom;
};

// Reads the picture in the stream (opened "rb", positioned at its start).
PictureLoad readPicture(FILE* stream, const ReadingChoices& choices);
