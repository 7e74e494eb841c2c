// The command line's two readings of BMP and TGA files that the compatible
// reader misreads or refuses: what it says about them (decode/
// compatible_check.cpp), and the standard reading of the same file.
#include "test_support.h"

#include "prepare/prepare.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

struct ReadingCase {
    const char* what;
    Bytes file;
    Reason compatibleFailure;             // None: it reads the file
    std::vector<Reason> warnings;         // when it reads it
    std::vector<uint32_t> standardPixels; // over a black background, rows from the top
};

void checkBothReadings(const ReadingCase& c) {
    ReadingChoices choices;
    const PictureLoad compatible = readPictureBytes(c.file, choices);
    EXPECT_EQ(compatible.failure, c.compatibleFailure) << c.what;
    EXPECT_EQ(compatible.warnings, c.warnings) << c.what;
    free(compatible.image.pixels);
    choices.decoder = Decoder::Standard;
    const PictureLoad standard = readPictureBytes(c.file, choices);
    ASSERT_EQ(standard.failure, Reason::None) << c.what;
    EXPECT_TRUE(standard.warnings.empty()) << c.what;
    EXPECT_EQ(pixelsOf(standard), rgbOf(c.standardPixels)) << c.what;
    free(standard.image.pixels);
}

Bytes bitFields(uint16_t bits, std::vector<uint32_t> masks, std::vector<uint32_t> row,
                uint32_t infoSize = 40) {
    BmpBuild layout;
    layout.width = static_cast<int32_t>(row.size());
    layout.height = 1;
    layout.bitsPerPixel = bits;
    layout.compression = 3;
    layout.infoSize = infoSize;
    layout.masks = std::move(masks);
    layout.rows = {std::move(row)};
    return buildBmp(layout);
}

Bytes runLength(uint16_t bits, int32_t width, int32_t height, const Bytes& data) {
    BmpBuild layout;
    layout.width = width;
    layout.height = height;
    layout.bitsPerPixel = bits;
    layout.compression = bits == 8 ? 1 : 2;
    layout.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    Bytes file = buildBmp(layout);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

Bytes os2Bitmap() {
    Bytes file = {'B', 'M'};
    putU32(file, 0);
    putU32(file, 0);
    putU32(file, 14 + 12);
    putU32(file, 12);
    putU16(file, 2); // width
    putU16(file, 1); // height
    putU16(file, 1);
    putU16(file, 24);
    file.insert(file.end(), {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0, 0}); // red, blue, padding
    file.resize(80, 0); // enough bytes for the 40 that the compatible reader takes
    return file;
}

TEST(BmpReadings, CompatibleWarnsOrExplainsStandardReads) {
    BmpBuild plain;
    plain.width = 2, plain.height = 1, plain.rows = {{0xFF0000, 0x00FF00}};
    BmpBuild alphaBytes;
    alphaBytes.width = 2, alphaBytes.height = 1, alphaBytes.bitsPerPixel = 32;
    alphaBytes.rows = {{0x80FF0000u, 0xFF0000FFu}};
    BmpBuild unusedByte = alphaBytes;
    unusedByte.rows = {{0x00FF0000u, 0x000000FFu}};
    BmpBuild shortTable;
    shortTable.width = 2, shortTable.height = 1, shortTable.bitsPerPixel = 8;
    shortTable.coloursUsed = 2, shortTable.palette = {0x123456, 0xABCDEF};
    shortTable.rows = {{1, 0}};
    const ReadingCase cases[] = {
        {"ordinary 24-bit", buildBmp(plain), Reason::None, {}, {0xFF0000, 0x00FF00}},
        {"5-6-5",
         bitFields(16, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0}),
         Reason::None,
         {Reason::BitFieldsIgnored},
         {0xFF0000, 0x00FF00}},
        {"5-5-5 as bit fields",
         bitFields(16, {0x7C00, 0x03E0, 0x001F}, {0x7C00, 0x001F}),
         Reason::None,
         {},
         {0xFF0000, 0x0000FF}},
        {"32-bit B G R x as bit fields",
         bitFields(32, {0xFF0000, 0xFF00, 0xFF}, {0xFF0000, 0xFF}),
         Reason::None,
         {Reason::BitFieldsIgnored},
         {0xFF0000, 0x0000FF}},
        {"the layout the compatible reader assumes",
         bitFields(32, {0xFF000000u, 0xFF0000, 0xFF00}, {0xFF000000u, 0xFF00}),
         Reason::None,
         {},
         {0xFF0000, 0x0000FF}},
        {"version 5 header with alpha",
         bitFields(32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, {0x80FF0000u, 0xFF0000FFu}, 124),
         Reason::None,
         {Reason::BitFieldsIgnored, Reason::AlphaDropped},
         {0x800000, 0x0000FF}},
        {"alpha in the fourth byte",
         buildBmp(alphaBytes),
         Reason::None,
         {Reason::AlphaDropped},
         {0x800000, 0x0000FF}},
        {"fourth byte zero everywhere",
         buildBmp(unusedByte),
         Reason::None,
         {},
         {0xFF0000, 0x0000FF}},
        {"OS/2 header", os2Bitmap(), Reason::CompatibleOnlyRefuses, {}, {0xFF0000, 0x0000FF}},
        {"run-length 8 bits: a run, a move, literals",
         runLength(8, 4, 2, {2, 1, 0, 2, 1, 0, 0, 0, 0, 3, 3, 2, 1, 0, 0, 1}),
         Reason::RunLengthBmp,
         {},
         {0x0000FF, 0x00FF00, 0xFF0000, 0x000000, 0xFF0000, 0xFF0000, 0x000000, 0x000000}},
        {"run-length 4 bits",
         runLength(4, 3, 1, {3, 0x12, 0, 1}),
         Reason::RunLengthBmp,
         {},
         {0xFF0000, 0x00FF00, 0xFF0000}},
        {"colour table shorter than 2^bits",
         buildBmp(shortTable),
         Reason::ShortColourTable,
         {},
         {0xABCDEF, 0x123456}},
    };
    for (const ReadingCase& c : cases)
        checkBothReadings(c);
}

TEST(BmpReadings, StandardRefusals) {
    BmpBuild cut;
    cut.width = 4, cut.height = 4, cut.rows = {{1, 2, 3, 4}};
    BmpBuild huge;
    huge.width = 30000, huge.height = 30000, huge.bitsPerPixel = 1, huge.palette = {0, 0xFFFFFF};
    const std::pair<const char*, std::pair<Bytes, Reason>> cases[] = {
        {"rows cut short", {buildBmp(cut), Reason::CutShort}},
        {"run-length data without its end", {runLength(8, 4, 2, {2, 1}), Reason::CutShort}},
        {"claim above the pixel limit", {buildBmp(huge), Reason::TooManyPixels}},
        {"bit fields at 24 bits",
         {bitFields(24, {0xFF, 0xFF00, 0xFF0000}, {1}), Reason::UnsupportedBmp}},
    };
    ReadingChoices choices;
    choices.decoder = Decoder::Standard;
    for (const auto& [what, c] : cases) {
        const PictureLoad load = readPictureBytes(c.first, choices);
        EXPECT_EQ(load.failure, c.second) << what;
        EXPECT_EQ(load.image.pixels, nullptr) << what;
    }
    choices.decoder = Decoder::Compatible; // the limit holds for both readings
    EXPECT_EQ(readPictureBytes(buildBmp(huge), choices).failure, Reason::TooManyPixels);
}

TEST(TgaReadings, CompatibleWarnsOrExplainsStandardReads) {
    auto trueColour = [](uint8_t depth, uint8_t descriptor, Bytes data, bool footer = true) {
        TgaBuild layout;
        layout.width = 2, layout.height = 2, layout.pixelDepth = depth,
        layout.descriptor = descriptor;
        layout.pixelData = std::move(data);
        layout.footer = footer;
        return buildTga(layout);
    };
    // Four pixels stored red, green, blue, white in file order.
    const Bytes bgr = {0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF};
    const Bytes bgra = {0, 0, 0xFF, 0xFF, 0, 0xFF, 0, 0x80, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    const Bytes fiveBits = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0xFF, 0x7F};
    TgaBuild greyAlpha;
    greyAlpha.imageType = 3, greyAlpha.width = 2, greyAlpha.height = 1, greyAlpha.pixelDepth = 16;
    greyAlpha.descriptor = 0x28, greyAlpha.pixelData = {0xFF, 0xFF, 0xFF, 0x40};
    const ReadingCase cases[] = {
        {"top-left 24-bit",
         trueColour(24, 0x20, bgr),
         Reason::None,
         {},
         {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
        {"bottom-left 24-bit",
         trueColour(24, 0x00, bgr),
         Reason::None,
         {Reason::TgaBottomUp},
         {0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00}},
        {"top-right 24-bit",
         trueColour(24, 0x30, bgr),
         Reason::None,
         {Reason::TgaRightToLeft},
         {0x00FF00, 0xFF0000, 0xFFFFFF, 0x0000FF}},
        {"32-bit with alpha",
         trueColour(32, 0x28, bgra),
         Reason::None,
         {Reason::TgaDepthMisread},
         {0xFF0000, 0x008000, 0x000000, 0xFFFFFF}},
        {"16-bit",
         trueColour(16, 0x20, fiveBits),
         Reason::None,
         {Reason::TgaDepthMisread},
         {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
        {"grey with alpha",
         buildTga(greyAlpha),
         Reason::None,
         {Reason::TgaDepthMisread},
         {0xFFFFFF, 0x404040}},
        {"no footer",
         trueColour(24, 0x20, bgr, false),
         Reason::TgaWithoutFooter,
         {},
         {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}},
    };
    for (const ReadingCase& c : cases)
        checkBothReadings(c);
}

} // namespace
