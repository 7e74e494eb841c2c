// The decoders of record (PNG, JPEG, GIF, WebP) against Pillow's decoding
// of the files in fixtures/ (made by fixtures/make_fixtures.py), their
// refusals, the choice of reader by signature, the EXIF orientation and the
// words for the reasons, through the command line's reading.
#include "test_support.h"

#include "decode/decoders.h"
#include "prepare/prepare.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

// Failures show the reason's words.
void PrintTo(Reason reason, std::ostream* out) {
    *out << describeReason(reason);
}

namespace {

// A baseline JPEG file made once with another encoder at quality 100
// without chroma subsampling: a gradient of 40 x 24 (red 6x, green 10y,
// blue 0x60).
const uint8_t gradientJpeg[] = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xFF, 0xDB, 0x00, 0x43, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xFF, 0xC0,
    0x00, 0x11, 0x08, 0x00, 0x18, 0x00, 0x28, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xFF, 0xC4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x0A, 0xFF, 0xC4, 0x00, 0x2C, 0x10, 0x00, 0x01, 0x00,
    0x07, 0x07, 0x04, 0x02, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x06,
    0x07, 0x11, 0x21, 0x31, 0x91, 0x14, 0x23, 0x24, 0x32, 0x41, 0x51, 0xF0, 0x22, 0x33, 0x42, 0x81,
    0x12, 0x61, 0x43, 0x71, 0xA1, 0xB1, 0xFF, 0xC4, 0x00, 0x18, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x08, 0x06, 0x0B, 0x09,
    0xFF, 0xC4, 0x00, 0x2A, 0x11, 0x00, 0x00, 0x03, 0x05, 0x06, 0x07, 0x01, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x06, 0x05, 0x07, 0x23, 0x41, 0x42, 0x11, 0x22, 0x33,
    0x52, 0x71, 0xD1, 0x02, 0x24, 0x32, 0x43, 0x51, 0x61, 0xC1, 0x03, 0x31, 0xFF, 0xDA, 0x00, 0x0C,
    0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00, 0x92, 0xD5, 0x79, 0x8A, 0x1B, 0xBC,
    0x24, 0x4B, 0xBC, 0x24, 0x29, 0xC8, 0x94, 0xF4, 0x1D, 0xA4, 0xBD, 0x3B, 0xD1, 0x8E, 0x73, 0x2D,
    0xC0, 0xFA, 0x21, 0xE6, 0xE0, 0xC6, 0xCB, 0x5E, 0x81, 0xCD, 0x5E, 0x62, 0x99, 0x30, 0x92, 0x70,
    0x17, 0x7A, 0xD3, 0x81, 0x0F, 0xDA, 0x4B, 0xD3, 0xBD, 0x18, 0xE7, 0x32, 0xDC, 0x58, 0x08, 0x87,
    0x9B, 0x83, 0x1B, 0x2D, 0x7A, 0x07, 0x35, 0x79, 0x8A, 0x64, 0x16, 0x4D, 0x89, 0xBB, 0xF7, 0xB7,
    0xBA, 0x21, 0xF3, 0x4D, 0x78, 0x77, 0xAC, 0xFD, 0xB8, 0xA7, 0x5D, 0x9F, 0x4C, 0x58, 0x08, 0x87,
    0x9B, 0x83, 0x1B, 0x2D, 0x7A, 0x07, 0x35, 0x79, 0x8A, 0x64, 0xC2, 0x44, 0xB9, 0xDD, 0x12, 0x14,
    0xE1, 0x8A, 0x1E, 0xB4, 0xD7, 0xBD, 0x51, 0xFC, 0xF7, 0x05, 0x80, 0x88, 0x79, 0xB8, 0x31, 0xB2,
    0xD7, 0xA0, 0x72, 0x57, 0x98, 0xA6, 0x4C, 0x24, 0x03, 0x9D, 0xD1, 0x33, 0x4E, 0x08, 0xA1, 0xFB,
    0x49, 0x7B, 0xD5, 0x1F, 0xCF, 0x70, 0x58, 0x08, 0x87, 0x9B, 0x83, 0x1B, 0x2D, 0x7A, 0x02, 0xC5,
    0x79, 0x8A, 0x64, 0xC2, 0x44, 0xBB, 0xF1, 0xE9, 0x4F, 0x55, 0x4D, 0x7B, 0x4D, 0x78, 0x57, 0xAC,
    0xFD, 0x8A, 0x75, 0xDB, 0xF4, 0x87, 0x3F, 0x44, 0x43, 0xCD, 0x38, 0x3C, 0xD1, 0x53, 0x59, 0x7A,
    0x0E, 0x6A, 0xF3, 0x14, 0xED, 0x9B, 0x24, 0x03, 0x80, 0xBB, 0xD6, 0x9C, 0x1F, 0x68, 0x7A, 0xD3,
    0x5E, 0x75, 0x46, 0x29, 0xCC, 0xF7, 0x16, 0x02, 0x21, 0xE6, 0x9C, 0x1E, 0x68, 0xA9, 0xAC, 0xBD,
    0x07, 0x25, 0x79, 0x8A, 0x64, 0x16, 0x4D, 0x89, 0x3F, 0x0D, 0x76, 0x97, 0x0A, 0x1F, 0xB4, 0x97,
    0xA5, 0x7A, 0x31, 0x4E, 0x67, 0xB8, 0xB0, 0x11, 0x0F, 0x34, 0xE0, 0xF3, 0x45, 0x4D, 0x65, 0xE8,
    0x39, 0xAB, 0xCC, 0x50, 0xDD, 0xE1, 0x22, 0x5D, 0xE1, 0x21, 0x4E, 0x44, 0xA1, 0xFB, 0x49, 0x7A,
    0x57, 0xA3, 0x14, 0xE6, 0x7B, 0x8B, 0x01, 0x10, 0xF3, 0x4E, 0x0F, 0x34, 0x54, 0xD6, 0x5E, 0x83,
    0x9A, 0xBC, 0xC5, 0x32, 0x1B, 0x24, 0x9C, 0x07, 0x44, 0xCD, 0x38, 0x02, 0x1E, 0xB4, 0xD7, 0x9D,
    0x51, 0xCC, 0xFF, 0x00, 0xB3, 0x2F, 0xB6, 0x0B, 0x01, 0x10, 0xF3, 0x4E, 0x0F, 0x34, 0x54, 0xD6,
    0x5E, 0x81, 0x62, 0xBC, 0xC5, 0x32, 0x61, 0x22, 0x5C, 0xFB, 0xBD, 0x29, 0xEB, 0xFD, 0x4D, 0x83,
    0x49, 0x7A, 0x77, 0xA3, 0x1C, 0xE6, 0x5B, 0x8E, 0x7E, 0x48, 0x87, 0x9B, 0x83, 0x1B, 0x2D, 0x7A,
    0x07, 0x25, 0x79, 0x8A, 0x76, 0xCD, 0x93, 0x60, 0x07, 0xC3, 0xFB, 0x2E, 0x40, 0x21, 0xFB, 0x49,
    0x78, 0x77, 0xA3, 0x1C, 0xE6, 0x5B, 0x8B, 0x01, 0x10, 0xF3, 0x70, 0x63, 0x65, 0xAF, 0x40, 0xE6,
    0xAF, 0x31, 0x4C, 0x98, 0x49, 0x38, 0x9E, 0x89, 0x9D, 0xA5, 0xC3, 0xFA, 0x43, 0xD6, 0x9A, 0xF0,
    0xEF, 0x59, 0xFB, 0x71, 0x4F, 0xFB, 0xC7, 0x67, 0xD3, 0x16, 0x02, 0x21, 0xE6, 0xE0, 0xC6, 0xCB,
    0x5E, 0x81, 0xCD, 0x5E, 0x62, 0x99, 0x30, 0x91, 0x2E, 0xF0, 0x90, 0xA7, 0x22, 0x50, 0xF9, 0xA4,
    0xBD, 0xEA, 0x8F, 0xE7, 0xB8, 0x2C, 0x04, 0x43, 0xCD, 0xC1, 0x8D, 0x96, 0xBD, 0x03, 0x9A, 0xBC,
    0xC5, 0x3B, 0x66, 0xC9, 0x00, 0xE0, 0x2E, 0xF5, 0xA7, 0x07, 0xDA, 0x1F, 0xB4, 0x97, 0xBD, 0x51,
    0xFC, 0xF7, 0x05, 0x80, 0x88, 0x79, 0xB8, 0x31, 0xB2, 0xD7, 0xA0, 0xFF, 0xD9,
};

Bytes jpegOf(const uint8_t* data, size_t size, int orientation = 0) {
    return withExifOrientation(Bytes(data, data + size), orientation);
}

PictureLoad read(const Bytes& file, const ReadingChoices& choices = {}) {
    return readPictureBytes(file, choices);
}

uint64_t fnv1a(const Bytes& bytes) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (uint8_t b : bytes)
        hash = (hash ^ b) * 0x100000001B3u;
    return hash;
}

// The RGBA bytes, a transparent pixel's colour set to zero as pillow.tsv has it.
Bytes shownPixels(const RgbaPicture& picture) {
    Bytes rgba(picture.pixels, picture.pixels + size_t{4} * picture.width * picture.height);
    for (size_t i = 0; i < rgba.size(); i += 4)
        if (rgba[i + 3] == 0)
            rgba[i] = rgba[i + 1] = rgba[i + 2] = 0;
    return rgba;
}

TEST(GeneralDecoder, FixturesDecodeAsPillowDoes) {
    std::ifstream table(std::string(HALVEX_DECODE_FIXTURES) + "/pillow.tsv");
    std::string line;
    int files = 0;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string name;
        int width = 0;
        int height = 0;
        std::string hash;
        fields >> name >> width >> height >> hash;
        const Bytes file = fixture(name.c_str());
        RgbaPicture picture{};
        ASSERT_EQ(decodeGeneral(file.data(), file.size(), defaultMaxPixels, &picture), Reason::None)
            << name;
        EXPECT_EQ(picture.width, width) << name;
        EXPECT_EQ(picture.height, height) << name;
        EXPECT_EQ(fnv1a(shownPixels(picture)), std::stoull(hash, nullptr, 16)) << name;
        free(picture.pixels);
        ++files;
    }
    EXPECT_EQ(files, 21);
}

// The colour space each format declares, as the colour step receives it.
TEST(GeneralDecoder, DeclaredColourSpacesAreHandedOn) {
    std::string profileText;
    for (int i = 0; i < 4; ++i)
        profileText += "not a real ICC profile, only its bytes";
    const Bytes profile(profileText.begin(), profileText.end());
    const uint32_t chromaticities[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
    const struct {
        const char* name;
        bool hasProfile;
        bool hasGammaAndChromaticities;
    } cases[] = {
        {"icc.jpg", true, false},   {"icc.webp", true, false},  {"icc.png", true, false},
        {"gamma.png", false, true}, {"srgb.png", false, false}, {"baseline.jpg", false, false},
    };
    for (const auto& c : cases) {
        const Bytes file = fixture(c.name);
        RgbaPicture picture{};
        ColourSpace colour;
        ASSERT_EQ(decodePicture(file.data(), file.size(), defaultMaxPixels, &picture, &colour),
                  Reason::None)
            << c.name;
        free(picture.pixels);
        EXPECT_EQ(colour.iccProfile, c.hasProfile ? profile : Bytes{}) << c.name;
        EXPECT_EQ(colour.hasGamma, c.hasGammaAndChromaticities) << c.name;
        EXPECT_EQ(colour.hasChromaticities, c.hasGammaAndChromaticities) << c.name;
        if (c.hasGammaAndChromaticities) {
            EXPECT_EQ(colour.gamma, 45455u) << c.name;
            for (int i = 0; i < 8; ++i)
                EXPECT_EQ(colour.chromaticities[i], chromaticities[i]) << c.name << " " << i;
        }
    }
}

TEST(GeneralDecoder, SixteenBitSamplesKeepTheirHighByte) {
    PngBuild grey;
    grey.width = 4, grey.height = 1, grey.bitDepth = 16, grey.colourType = 0;
    grey.rows = {{0x00, 0xFF, 0x01, 0x00, 0x7F, 0xFF, 0xFF, 0xFF}};
    const PictureLoad load = read(buildPng(grey));
    ASSERT_EQ(load.failure, Reason::None);
    EXPECT_EQ(pixelsOf(load), rgbOf({0x000000, 0x010101, 0x7F7F7F, 0xFFFFFF}));
    free(load.image.pixels);
}

TEST(Orientation, DamagedExifIsIgnored) {
    const Bytes jpeg = jpegOf(gradientJpeg, sizeof gradientJpeg, 6);
    const struct {
        const char* what;
        size_t offset; // into the EXIF segment, which starts at byte 2
        uint8_t value;
    } damage[] = {
        {"directory offset past the segment", 2 + 4 + 6 + 4, 0xF0},
        {"orientation stored as another type", 2 + 4 + 6 + 12, 4},
        {"orientation 9", 2 + 4 + 6 + 18, 9},
        {"byte order mark", 2 + 4 + 6, 'X'},
    };
    for (const auto& d : damage) {
        Bytes broken = jpeg;
        broken[d.offset] = d.value;
        EXPECT_EQ(jpegOrientation(broken.data(), broken.size()), 1) << d.what;
        const PictureLoad load = read(broken);
        EXPECT_EQ(load.failure, Reason::None) << d.what;
        EXPECT_EQ(load.image.width, 40) << d.what;
        free(load.image.pixels);
    }
    EXPECT_EQ(jpegOrientation(jpeg.data(), jpeg.size()), 6);
}

TEST(GeneralDecoder, JpegDecodesCloseToItsSource) {
    Bytes gradient;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x)
            gradient.insert(gradient.end(),
                            {static_cast<uint8_t>(x * 6), static_cast<uint8_t>(y * 10), 0x60});
    const PictureLoad load = read(jpegOf(gradientJpeg, sizeof gradientJpeg));
    ASSERT_EQ(load.failure, Reason::None);
    ASSERT_EQ(load.image.width, 40);
    ASSERT_EQ(load.image.height, 24);
    const Bytes decoded = pixelsOf(load);
    for (size_t i = 0; i < decoded.size(); ++i)
        ASSERT_NEAR(decoded[i], gradient[i], 8) << "byte " << i;
    free(load.image.pixels);
}

Bytes patched(Bytes file, size_t at, const Bytes& with) {
    std::copy(with.begin(), with.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
    return file;
}

template <size_t N> Bytes text(const char (&chars)[N]) {
    return Bytes(chars, chars + N - 1);
}

TEST(GeneralDecoder, RefusalsNameTheirReason) {
    PngBuild huge; // a few bytes that claim 30000 x 30000
    huge.width = 30000, huge.height = 30000, huge.colourType = 0;
    huge.rows = {Bytes(30000, 0)};
    PngBuild small;
    small.width = 2, small.height = 2, small.rows = {Bytes(6, 0x40), Bytes(6, 0x80)};
    Bytes damagedCrc = buildPng(small);
    damagedCrc[30] ^= 1; // inside IHDR's CRC
    PngBuild bomb;       // one pixel, and image data that inflates to far more
    bomb.width = 1, bomb.height = 1, bomb.rows = {Bytes(200000, 0)};
    ReadingChoices raised;
    raised.maxPixels = 900000000;
    const Bytes jpeg = fixture("baseline.jpg");
    const size_t sof = jpegMarker(jpeg, 0xC0);
    const size_t scan = jpegMarker(jpeg, 0xDA);
    const Bytes gif = fixture("still.gif");
    const Bytes webp = fixture("lossless.webp");
    const Bytes animated = fixture("animated.webp");
    const struct {
        const char* what;
        Bytes file;
        ReadingChoices choices;
        Reason reason;
    } cases[] = {
        {"PNG claim above the pixel limit", buildPng(huge), {}, Reason::TooManyPixels},
        {"PNG damaged chunk", damagedCrc, {}, Reason::DamagedPicture},
        {"PNG pixel data cut short, limit raised", buildPng(huge), raised, Reason::CutShort},
        {"PNG signature alone", text("\x89PNG\r\n\x1A\n"), {}, Reason::CutShort},
        {"PNG whose image data is far more than the picture",
         buildPng(bomb),
         {},
         Reason::DamagedPicture},
        {"JPEG markers alone", Bytes{0xFF, 0xD8, 0xFF, 0xD9}, {}, Reason::DamagedPicture},
        {"JPEG entropy-coded data overwritten",
         patched(jpeg, scan + 200, Bytes(400, 0xFF)),
         {},
         Reason::DamagedPicture},
        {"JPEG claim above the pixel limit",
         patched(jpeg, sof + 5, {0x75, 0x30, 0x75, 0x30}),
         {},
         Reason::TooManyPixels},
        {"12-bit JPEG", patched(jpeg, sof + 4, {12}), {}, Reason::TwelveBitJpeg},
        {"lossless JPEG", patched(jpeg, sof + 1, {0xC3}), {}, Reason::LosslessJpeg},
        {"hierarchical JPEG", patched(jpeg, sof + 1, {0xC5}), {}, Reason::UnsupportedJpeg},
        {"progressive JPEG of 2080 scans", fixture("scans-2080.jpg"), {}, Reason::TooManyScans},
        {"GIF header alone", text("GIF89a"), {}, Reason::CutShort},
        {"GIF image data overwritten",
         patched(gif, gif.size() - 600, Bytes(500, 0xFF)),
         {},
         Reason::DamagedPicture},
        {"GIF screen above the pixel limit",
         patched(gif, 6, {0xFF, 0xFF, 0xFF, 0xFF}),
         {},
         Reason::TooManyPixels},
        {"WebP bitstream overwritten",
         patched(webp, 60, Bytes(400, 0x55)),
         {},
         Reason::DamagedPicture},
        {"WebP canvas above the pixel limit",
         patched(animated, 24, {0x1F, 0x4E, 0, 0x1F, 0x4E, 0}),
         {},
         Reason::TooManyPixels},
        {"text", text("hello, world\n"), {}, Reason::UnknownFormat},
        {"empty file", Bytes{}, {}, Reason::UnknownFormat},
        {"TIFF", text("II*\0\x08\0\0\0 and more"), {}, Reason::TiffFile},
        {"big-endian TIFF", text("MM\0*\0\0\0\x08 and more"), {}, Reason::TiffFile},
        {"HEIC",
         text("\0\0\0\x18"
              "ftypheic\0\0\0\0mif1heic"),
         {},
         Reason::HeifFile},
        {"AVIF",
         text("\0\0\0\x1C"
              "ftypavif\0\0\0\0avifmif1"),
         {},
         Reason::HeifFile},
        {"Photoshop", text("8BPS\0\x01 and more"), {}, Reason::PsdFile},
        {"ICO", Bytes{0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0}, {}, Reason::IconFile},
        {"PDF", text("%PDF-1.7\n"), {}, Reason::PdfFile},
        {"SVG",
         text("<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>"),
         {},
         Reason::SvgFile},
        {"JPEG 2000", text("\0\0\0\x0CjP  \r\n\x87\n and more"), {}, Reason::Jpeg2000File},
        {"JPEG XL", text("\xFF\x0A and more"), {}, Reason::JpegXlFile},
        {"QOI", text("qoif\0\0\0\x01"), {}, Reason::QoiFile},
    };
    for (const auto& c : cases) {
        for (Decoder decoder : {Decoder::Compatible, Decoder::Standard}) {
            ReadingChoices choices = c.choices;
            choices.decoder = decoder;
            const PictureLoad load = read(c.file, choices);
            EXPECT_EQ(load.failure, c.reason) << c.what;
            EXPECT_EQ(load.image.pixels, nullptr) << c.what;
        }
    }
}

// The limit is on the pixel count, not on either side.
TEST(GeneralDecoder, OneLongSideIsWithinTheLimit) {
    PngBuild wide;
    wide.width = 18000, wide.height = 1, wide.colourType = 0, wide.rows = {Bytes(18000, 7)};
    ReadingChoices tight;
    tight.maxPixels = 17999;
    const PictureLoad load = read(buildPng(wide));
    EXPECT_EQ(load.failure, Reason::None);
    EXPECT_EQ(load.image.width, 18000);
    free(load.image.pixels);
    EXPECT_EQ(read(buildPng(wide), tight).failure, Reason::TooManyPixels);
}

// A file cut anywhere, in its headers or its pixel data, is refused as cut
// short rather than shown with what arrived.
TEST(GeneralDecoder, CutFilesAreRefusedWherever) {
    for (const char* name :
         {"baseline.jpg", "progressive.jpg", "arithmetic.jpg", "still.gif", "interlaced.gif",
          "lossless.webp", "lossy-alpha.webp", "animated.webp"}) {
        const Bytes file = fixture(name);
        for (size_t percent = 10; percent < 100; percent += 3) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(
                                                             file.size() * percent / 100));
            RgbaPicture picture{};
            EXPECT_EQ(decodeGeneral(cut.data(), cut.size(), defaultMaxPixels, &picture),
                      Reason::CutShort)
                << name << " cut at " << percent << " %";
        }
    }
}

// Bytes out of place lose no pixel: the picture is read, with a warning.
TEST(GeneralDecoder, StrayBytesInAJpegAreAWarning) {
    Bytes jpeg = fixture("baseline.jpg");
    const size_t scan = jpegMarker(jpeg, 0xDA);
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(scan), {0x12, 0x34, 0x56});
    const PictureLoad load = read(jpeg);
    ASSERT_EQ(load.failure, Reason::None);
    EXPECT_EQ(load.warnings, std::vector<Reason>{Reason::JpegStrayBytes});
    EXPECT_EQ(describeReason(Reason::JpegStrayBytes).rfind("warning: ", 0), 0u);
    free(load.image.pixels);
}

TEST(LoadReasons, EveryFailureBeginsWithTheDialogsWords) {
    for (Reason r : {Reason::NotRead, Reason::RunLengthBmp, Reason::TgaWithoutFooter,
                     Reason::CutShort, Reason::TooManyPixels, Reason::DamagedPicture}) {
        EXPECT_EQ(describeReason(r).rfind("Error reading file (not BMP?)", 0), 0u);
    }
    EXPECT_EQ(describeReason(Reason::NotRead), "Error reading file (not BMP?)");
    EXPECT_EQ(describeReason(Reason::TgaBottomUp).rfind("warning: ", 0), 0u);
}

} // namespace
