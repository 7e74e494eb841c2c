// Builders for BMP and TGA files in memory and a loader that runs them
// through a real file stream.
#pragma once

#include "prepare/prepare.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

void putU16(Bytes& out, uint32_t value);
void putU32(Bytes& out, uint32_t value);

// A BMP file. Rows are given in stored order; each value is a palette index
// (1, 4, 8 bits), a 16-bit word, 0xRRGGBB (24 bits) or four bytes as a
// little-endian word, first file byte lowest (32 bits).
struct BmpBuild {
    int32_t width = 0;
    int32_t height = 0; // negative: rows stored top row first
    uint16_t bitsPerPixel = 24;
    uint32_t compression = 0;
    uint32_t infoSize = 40; // the info header is padded with zeros to this size
    uint32_t gap = 0;       // bytes between the colour table and the pixel data
    uint32_t coloursUsed = 0;
    std::vector<uint32_t> palette; // 0xRRGGBB entries
    std::vector<std::vector<uint32_t>> rows;
    // Bit-field masks, written after the first 40 bytes of the information
    // header: inside a longer header, else after it.
    std::vector<uint32_t> masks;
};
Bytes buildBmp(const BmpBuild& layout);

// A TGA file: the 18-byte header, the image ID, the colour map (24-bit
// entries given as 0xRRGGBB), the pixel data as given, and the footer.
struct TgaBuild {
    uint8_t imageType = 2;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint16_t colourMapFirst = 0;
    uint8_t colourMapEntryBits = 24;
    uint8_t pixelDepth = 24;
    uint8_t descriptor = 0;
    std::vector<uint32_t> colourMap;
    Bytes pixelData;
    bool footer = true;
};
Bytes buildTga(const TgaBuild& layout);

struct LoadResult {
    bool ok = false;
    int32_t width = -7; // sentinels: a failed load must not write them
    int32_t height = -9;
    Bytes pixels;
    long endPosition = 0;
    long streamLength = 0;
};
// Writes prefix bytes and then the image into a temporary file, positions
// the stream after the prefix and runs loadImage.
LoadResult loadBytes(const Bytes& image, size_t prefix = 0, const Bytes& suffix = {});

// The pixel block a picture of 0xRRGGBB values should decode to.
Bytes rgbOf(const std::vector<uint32_t>& pixels);

// A temporary directory removed with its contents at the end of the test.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return path + "/" + name; }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

Bytes readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const Bytes& bytes);
bool fileExists(const std::string& path);

// A PNG file (stored, uncompressed deflate): rows of packed samples as the
// format lays them out, without the filter byte, which is added as 0.
struct PngBuild {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 8;
    uint8_t colourType = 2;
    Bytes palette;      // PLTE: red, green, blue per entry
    Bytes transparency; // tRNS as stored
    std::vector<Bytes> rows;
};
Bytes buildPng(const PngBuild& layout);

// A GIF file of one frame with a global table of up to 4 colours
// (0xRRGGBB) and one index per pixel, optionally a transparent index.
struct GifBuild {
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<uint32_t> palette;
    int transparentIndex = -1;
    Bytes indices;
};
Bytes buildGif(const GifBuild& layout);

// Where the first segment of a JPEG file with this marker starts (its 0xFF).
size_t jpegMarker(const Bytes& jpeg, uint8_t marker);

// The JPEG file with an EXIF block holding the orientation tag inserted
// after its start marker; unchanged for orientation 0.
Bytes withExifOrientation(Bytes jpeg, int orientation);

#ifdef HALVEX_DECODE_FIXTURES
// A file of tests/decode/fixtures (made by its make_fixtures.py).
inline Bytes fixture(const char* name) {
    return readFileBytes(std::string(HALVEX_DECODE_FIXTURES) + "/" + name);
}
#endif

// readPicture over the bytes, through a real file stream.
PictureLoad readPictureBytes(const Bytes& file, const ReadingChoices& choices);

// The same file read by rows (startRowReading), `band` rows at a time into
// a picture of its own: false when the file is not read so.
bool readPictureBytesByRows(const Bytes& file, const ReadingChoices& choices, int32_t band,
                            PictureLoad* load);

// The RGB bytes of the picture that a reading gave.
Bytes pixelsOf(const PictureLoad& load);
