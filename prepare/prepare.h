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

// A picture read while it is converted, a band of rows at a time, for a
// file whose rows come out final, in order and opaque and that needs no step
// over the whole picture (no EXIF turn, no resize asked for, no colour space
// to convert): a JPEG or PNG that decode.h's PictureRows reads, or a BMP
// file that the compatible reader reads (image.h's BmpRows) whose warnings
// its headers tell. The rows are the pixels readPicture gives, put wherever
// the caller asks; the whole picture is never held.
struct RowReading {
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowsRead = 0;
    std::vector<uint8_t> bytes;
    ColourSpace colour;
    PictureRows* rows = nullptr;
    BmpRows* bmp = nullptr;
    std::vector<Reason> warnings; // the compatible reader's, known at the start
    Reason failure = Reason::None;
};

// True when the file in the stream (opened "rb", positioned at its start)
// is read so; the stream must then stay open until the end. False, with
// nothing kept and the stream where it was, when readPicture is the way
// (including every file it refuses at its header).
bool startRowReading(FILE* stream, const ReadingChoices& choices, RowReading* reading);

// Puts the next `count` rows, top first, at pixels (width x 3 bytes a row,
// one after another; fewer at the bottom). A failure stays: every later
// call returns it.
Reason readNextRows(RowReading* reading, int32_t count, uint8_t* pixels);

// Reads the rows not yet read, to find whether the file holds the whole
// picture, and drops them.
Reason readRemainingRows(RowReading* reading);

// Releases the reading (not the stream) and says how it went: the failure,
// when a read failed, and the warnings, once every row was read.
PictureLoad endRowReading(RowReading* reading);
