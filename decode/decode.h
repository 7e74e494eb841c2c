// Bytes to picture, beside the compatible loader (image/): decodePicture
// reads a PNG, JPEG, GIF, WebP, BMP or TGA file the way image viewers do
// (the formats and their limits: doc/formats.md); the
// compatible checks say what loadImage misreads in a file it reads and why it
// refuses one that decodePicture reads; jpegOrientation gives the EXIF turn.
// The reasons are put into words by decode/reasons.h.
#pragma once

#include "platform/status.h"

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

// When every pixel is opaque, packs the pixels to red, green, blue in place
// (the block shrinks to width x height x 3 bytes) and returns the block,
// which now belongs to the caller and no longer to picture; otherwise
// returns null and leaves the picture as it was. Laying an opaque picture
// over any background gives these same bytes, without a second block.
uint8_t* packOpaque(RgbaPicture* picture);

// The colour space a file declares beside its pixels: an embedded ICC
// profile (PNG iCCP, JPEG APP2, WebP ICCP), or PNG's gAMA and cHRM when the
// file has no sRGB chunk. All empty for an sRGB-tagged or untagged file,
// whose values are taken as sRGB.
struct ColourSpace {
    std::vector<uint8_t> iccProfile;
    bool hasGamma = false;
    uint32_t gamma = 0; // gAMA: the encoding gamma x 100000
    bool hasChromaticities = false;
    uint32_t chromaticities[8] = {}; // cHRM: white x, y, red x, y, green x, y, blue x, y, x 100000
};

// Whether the bytes begin like a PNG, JPEG, GIF or WebP file.
bool isGeneralFormat(const uint8_t* data, size_t size);

// Whether the compatible loader is the reader to try first: a BMP file, or
// a file of no other known format whose TGA image type is one it reads.
// Any other file goes to decodePicture alone, which names what it is.
bool compatibleCandidate(const uint8_t* data, size_t size);

// The format by its signature: "BM" as BMP, PNG, JPEG, GIF and WebP by
// theirs, TGA when nothing else matches and its header is plausible; a file
// of another known format is refused by name, any other as UnknownFormat.
// Returns None and fills out, or a failure with nothing allocated. colour
// (nullable) receives the colour space the file declares; warnings
// (nullable) receive what the decoder passed over without losing pixels.
Reason decodePicture(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                     ColourSpace* colour = nullptr, std::vector<Reason>* warnings = nullptr);

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

// A picture decoded a band of rows at a time, for a conversion that runs
// while the file is decoded: the pixels decodePicture gives, as red, green,
// blue (3 bytes a pixel), in the caller's blocks. Offered for the files
// whose rows come out final, in order and opaque: JPEG in colour or grey,
// PNG not interlaced without alpha or a transparent colour. The start reads
// the headers: None with *rows null for any other file (decodePicture reads
// it whole), a failure with nothing kept. readPictureRows decodes the next
// `count` rows, top first, into pixels (width x 3 bytes a row, one row after
// another; fewer at the bottom); its first failure is returned again by
// every later call. The end releases the decoding and adds its warnings
// (only once every row is out). The data must stay in place until the end.
struct PictureRows;
Reason startPictureRows(const uint8_t* data, size_t size, int64_t maxPixels, ColourSpace* colour,
                        PictureRows** rows, int32_t* width, int32_t* height);
Reason readPictureRows(PictureRows* rows, int32_t count, uint8_t* pixels);
void endPictureRows(PictureRows* rows, std::vector<Reason>* warnings);

// The EXIF orientation (1 to 8) of a JPEG file; 1 when there is none, the
// file is no JPEG or the EXIF block is damaged.
int jpegOrientation(const uint8_t* data, size_t size);
