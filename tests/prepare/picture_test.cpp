// The command line's reading after decoding: the colour profile,
// transparency over the background, the EXIF turns and resizing.
#include "test_support.h"

#include "prepare/steps.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <lcms2.h>

namespace {

// A baseline JPEG file made once with another encoder at quality 100
// without chroma subsampling: the eight colours of asymmetric() as 8 x 8
// blocks (32 x 16).
const uint8_t blocksJpeg[] = {
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
    0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x20, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xFF, 0xC4, 0x00, 0x16, 0x00, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x0B, 0x09, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
    0xC4, 0x00, 0x18, 0x01, 0x00, 0x03, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x09, 0x0A, 0x0B, 0x00, 0x08, 0xFF, 0xC4, 0x00, 0x14, 0x11, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
    0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00, 0xC5, 0xF0, 0xA7,
    0x3F, 0xC1, 0x28, 0x05, 0xBA, 0x15, 0xE0, 0x6E, 0xB4, 0xC1, 0xAC, 0x17, 0x10, 0x20, 0x3B, 0xAA,
    0x10, 0x07, 0x66, 0x5C, 0x41, 0x3F, 0xF7, 0x54, 0x32, 0x1D, 0x55, 0x84, 0xD5, 0xC6, 0xBC, 0x52,
    0x17, 0x58, 0x7F, 0xFF, 0xD9,
};

Bytes jpegOf(const uint8_t* data, size_t size, int orientation = 0) {
    return withExifOrientation(Bytes(data, data + size), orientation);
}

PictureLoad read(const Bytes& file, const ReadingChoices& choices = {}) {
    return readPictureBytes(file, choices);
}

ReadingChoices onBackground(uint32_t background) {
    ReadingChoices choices;
    choices.background = background;
    return choices;
}

uint8_t over(int c, int a, int bg) {
    return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255);
}

// Pixel i of the picture (colour c, alpha a per channel) over each of three
// backgrounds, by the formula.
Bytes expectedOver(const std::vector<std::pair<uint32_t, int>>& colourAlpha, uint32_t bg) {
    Bytes out;
    for (const auto& [rgb, a] : colourAlpha)
        for (int shift : {16, 8, 0})
            out.push_back(over((rgb >> shift) & 0xFF, a, (bg >> shift) & 0xFF));
    return out;
}

TEST(Transparency, EverySourceOfAlphaIsLaidOverTheBackground) {
    PngBuild rgba;
    rgba.width = 3, rgba.height = 1, rgba.colourType = 6;
    rgba.rows = {{0xFF, 0x00, 0x00, 0xFF, 0x10, 0x80, 0xF0, 0x80, 0x20, 0x40, 0x60, 0x00}};
    PngBuild greyAlpha;
    greyAlpha.width = 2, greyAlpha.height = 1, greyAlpha.colourType = 4;
    greyAlpha.rows = {{0x80, 0x33, 0xFF, 0xFE}};
    PngBuild paletteTrns;
    paletteTrns.width = 2, paletteTrns.height = 1, paletteTrns.colourType = 3;
    paletteTrns.palette = {0x00, 0xFF, 0x00, 0x12, 0x34, 0x56};
    paletteTrns.transparency = {0x40};
    paletteTrns.rows = {{0x00, 0x01}};
    PngBuild sixteen; // samples reduced to 8 bits by rounding first
    sixteen.width = 1, sixteen.height = 1, sixteen.bitDepth = 16, sixteen.colourType = 6;
    sixteen.rows = {{0x80, 0x80, 0x7F, 0xFF, 0x00, 0x00, 0x80, 0x00}};
    GifBuild gif;
    gif.width = 2, gif.height = 1, gif.palette = {0xFF0000, 0x00FF00}, gif.transparentIndex = 1;
    gif.indices = {0, 1};

    const struct {
        const char* what;
        Bytes file;
        std::vector<std::pair<uint32_t, int>> colourAlpha;
    } cases[] = {
        {"RGBA PNG", buildPng(rgba), {{0xFF0000, 0xFF}, {0x1080F0, 0x80}, {0x204060, 0x00}}},
        {"grey and alpha PNG", buildPng(greyAlpha), {{0x808080, 0x33}, {0xFFFFFF, 0xFE}}},
        {"palette and tRNS PNG", buildPng(paletteTrns), {{0x00FF00, 0x40}, {0x123456, 0xFF}}},
        {"16-bit RGBA PNG",
         buildPng(sixteen),
         {{0x807F00, 0x80}}}, // 0x8080 -> 0x80, 0x7FFF -> 0x7F
        {"GIF transparent index", buildGif(gif), {{0xFF0000, 0xFF}, {0x00FF00, 0x00}}},
    };
    for (const auto& c : cases) {
        for (uint32_t bg : {0x000000u, 0xFFFFFFu, 0x3C91E6u}) {
            const PictureLoad load = read(c.file, onBackground(bg));
            ASSERT_EQ(load.failure, Reason::None) << c.what;
            EXPECT_EQ(pixelsOf(load), expectedOver(c.colourAlpha, bg))
                << c.what << " on " << std::hex << bg;
            free(load.image.pixels);
        }
    }
}

// A 4 x 2 picture whose eight pixels are all far apart in colour.
Bytes asymmetric() {
    return rgbOf({0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0xFFFF00, 0x00FFFF, 0xFF00FF});
}

// Which of the eight colours each pixel is nearest to.
std::vector<int> classify(const Bytes& rgb) {
    const Bytes palette = asymmetric();
    std::vector<int> out;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        int best = 0, bestDistance = 1 << 30;
        for (int k = 0; k < 8; ++k) {
            int d = 0;
            for (int c = 0; c < 3; ++c)
                d += (rgb[i + c] - palette[3 * k + c]) * (rgb[i + c] - palette[3 * k + c]);
            if (d < bestDistance)
                best = k, bestDistance = d;
        }
        out.push_back(best);
    }
    return out;
}

TEST(Orientation, TheEightExifOrientationsComeOutUpright) {
    // Pixels 0..7 of the stored 4 x 2 picture, then the upright picture's
    // rows as stored pixel numbers.
    const struct {
        int orientation;
        int width;
        int height;
        std::vector<int> upright;
    } cases[] = {
        {1, 4, 2, {0, 1, 2, 3, 4, 5, 6, 7}}, {2, 4, 2, {3, 2, 1, 0, 7, 6, 5, 4}},
        {3, 4, 2, {7, 6, 5, 4, 3, 2, 1, 0}}, {4, 4, 2, {4, 5, 6, 7, 0, 1, 2, 3}},
        {5, 2, 4, {0, 4, 1, 5, 2, 6, 3, 7}}, {6, 2, 4, {4, 0, 5, 1, 6, 2, 7, 3}},
        {7, 2, 4, {7, 3, 6, 2, 5, 1, 4, 0}}, {8, 2, 4, {3, 7, 2, 6, 1, 5, 0, 4}},
    };
    ReadingChoices shrink;
    shrink.filter = ResizeFilter::Nearest;
    for (const auto& c : cases) {
        shrink.resizeWidth = c.width, shrink.resizeHeight = c.height;
        const PictureLoad load = read(jpegOf(blocksJpeg, sizeof blocksJpeg, c.orientation), shrink);
        ASSERT_EQ(load.failure, Reason::None) << c.orientation;
        EXPECT_EQ(load.image.width, c.width) << c.orientation;
        EXPECT_EQ(classify(pixelsOf(load)), c.upright) << c.orientation;
        free(load.image.pixels);
    }
}

// Sizes for every fit: source, request, result, and the scaled picture
// inside it.
TEST(Resize, SizesForEveryFit) {
    const struct {
        int32_t sw, sh, w, h;
        Fit fit;
        int32_t outW, outH, innerW, innerH, cropW, cropH;
    } cases[] = {
        {400, 300, 200, 0, Fit::Contain, 200, 150, 200, 150, 400, 300},
        {400, 300, 0, 100, Fit::Cover, 133, 100, 133, 100, 400, 300},
        {400, 300, 100, 100, Fit::Contain, 100, 100, 100, 75, 400, 300},
        {400, 300, 100, 100, Fit::Cover, 100, 100, 100, 100, 300, 300},
        {400, 300, 100, 100, Fit::Stretch, 100, 100, 100, 100, 400, 300},
        {300, 400, 100, 100, Fit::Contain, 100, 100, 75, 100, 300, 400},
        {300, 400, 100, 100, Fit::Cover, 100, 100, 100, 100, 300, 300},
        {1, 1, 7, 3, Fit::Contain, 7, 3, 3, 3, 1, 1},
        {1, 1, 7, 3, Fit::Cover, 7, 3, 7, 3, 1, 1},
        {1000, 1, 10, 10, Fit::Contain, 10, 10, 10, 1, 1000, 1},
        {1000, 1, 10, 10, Fit::Cover, 10, 10, 10, 10, 1, 1},
        {1, 1000, 0, 10, Fit::Contain, 1, 10, 1, 10, 1, 1000},
        {5, 5, 1, 1, Fit::Contain, 1, 1, 1, 1, 5, 5},
    };
    for (const auto& c : cases) {
        ReadingChoices choices;
        choices.resizeWidth = c.w, choices.resizeHeight = c.h, choices.fit = c.fit;
        const ResizePlan plan = planResize(c.sw, c.sh, choices);
        const std::string what = std::to_string(c.sw) + "x" + std::to_string(c.sh) + " to " +
                                 std::to_string(c.w) + "x" + std::to_string(c.h) + " fit " +
                                 std::to_string(static_cast<int>(c.fit));
        EXPECT_EQ(plan.width, c.outW) << what;
        EXPECT_EQ(plan.height, c.outH) << what;
        EXPECT_EQ(plan.innerWidth, c.innerW) << what;
        EXPECT_EQ(plan.innerHeight, c.innerH) << what;
        EXPECT_EQ(plan.cropWidth, c.cropW) << what;
        EXPECT_EQ(plan.cropHeight, c.cropH) << what;
        for (ResizeFilter filter : {ResizeFilter::Default, ResizeFilter::Nearest}) {
            choices.filter = filter;
            RgbImage image{c.sw, c.sh, static_cast<uint8_t*>(malloc(size_t{3} * c.sw * c.sh))};
            for (size_t i = 0; i < size_t{3} * c.sw * c.sh; ++i)
                image.pixels[i] = static_cast<uint8_t>(i % 3 == 0 ? 0xC8 : 0x3A); // one flat colour
            choices.background = 0xC83A3A;
            ASSERT_EQ(resizePicture(&image, choices), Reason::None) << what;
            ASSERT_EQ(image.width, c.outW);
            ASSERT_EQ(image.height, c.outH);
            for (int32_t i = 0; i < image.width * image.height; ++i)
                ASSERT_EQ(Bytes(image.pixels + 3 * i, image.pixels + 3 * i + 3), rgbOf({0xC83A3A}))
                    << what << " pixel " << i << ": a flat colour stays flat";
            free(image.pixels);
        }
    }
}

TEST(Resize, ContainFramesWithTheBackgroundCentred) {
    ReadingChoices choices;
    choices.resizeWidth = 4, choices.resizeHeight = 4, choices.background = 0x0000FF;
    choices.filter = ResizeFilter::Nearest;
    RgbImage image{2, 1, static_cast<uint8_t*>(malloc(6))};
    const Bytes red = rgbOf({0xFF0000, 0xFF0000});
    std::copy(red.begin(), red.end(), image.pixels);
    ASSERT_EQ(resizePicture(&image, choices), Reason::None);
    const Bytes got(image.pixels, image.pixels + 48);
    const uint32_t b = 0x0000FF, r = 0xFF0000;
    EXPECT_EQ(got, rgbOf({b, b, b, b, r, r, r, r, r, r, r, r, b, b, b, b}));
    free(image.pixels);
}

TEST(Resize, FineCheckerboardShrinksToItsMeanInLinearLight) {
    const int side = 64;
    RgbImage image{side, side, static_cast<uint8_t*>(malloc(size_t{3} * side * side))};
    for (int i = 0; i < side * side; ++i) {
        const uint8_t v = ((i % side + i / side) % 2 == 0) ? 255 : 0;
        image.pixels[3 * i] = image.pixels[3 * i + 1] = image.pixels[3 * i + 2] = v;
    }
    ReadingChoices choices;
    choices.resizeWidth = 8, choices.resizeHeight = 8;
    ASSERT_EQ(resizePicture(&image, choices), Reason::None);
    // Half of the light: 0.5 in linear light is 188 in sRGB, not 128.
    for (int i = 0; i < 64 * 3; ++i)
        ASSERT_NEAR(image.pixels[i], 188, 2) << i;
    free(image.pixels);
}

TEST(Resize, ResultAboveThePixelLimitIsRefused) {
    ReadingChoices choices;
    choices.resizeWidth = 20000, choices.resizeHeight = 20000;
    choices.maxPixels = 1000000;
    RgbImage image{1, 1, static_cast<uint8_t*>(malloc(3))};
    EXPECT_EQ(resizePicture(&image, choices), Reason::ResizeTooLarge);
    EXPECT_EQ(image.width, 1);
    free(image.pixels);
}

// A resize plan's result, built by hand: the crop region copied into the
// centre of a frame of the background.
Bytes copiedAndFramed(const RgbImage& source, const ResizePlan& plan, uint32_t background) {
    Bytes out;
    const int32_t left = (plan.width - plan.innerWidth) / 2;
    const int32_t top = (plan.height - plan.innerHeight) / 2;
    for (int32_t y = 0; y < plan.height; ++y)
        for (int32_t x = 0; x < plan.width; ++x) {
            const int32_t ix = x - left, iy = y - top;
            if (ix < 0 || iy < 0 || ix >= plan.innerWidth || iy >= plan.innerHeight) {
                const Bytes bg = rgbOf({background});
                out.insert(out.end(), bg.begin(), bg.end());
                continue;
            }
            const uint8_t* p =
                source.pixels +
                ((size_t{1} * (plan.cropY + iy) * source.width) + plan.cropX + ix) * 3;
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

// Pixel (x, y) of a picture made of 1-pixel lines: vertical lines (every row
// alike) or horizontal ones, neighbours far apart.
uint32_t lineColour(int32_t x, int32_t y, bool vertical) {
    static const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF,
                                       0x000000, 0xFFFF00, 0x10E0C0, 0x804020};
    return colours[(vertical ? x : y) % 8];
}

RgbImage linesPicture(int32_t width, int32_t height, bool vertical) {
    RgbImage image{width, height, static_cast<uint8_t*>(malloc(size_t{3} * width * height))};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const Bytes rgb = rgbOf({lineColour(x, y, vertical)});
            std::copy(rgb.begin(), rgb.end(), image.pixels + 3 * (size_t{1} * y * width + x));
        }
    return image;
}

// Resizing to the size a picture (or its cover crop) already has, on one
// axis or both: that axis comes out as it was, for every filter and fit.
TEST(Resize, AnAxisThatKeepsItsSizeIsNotResampled) {
    const struct {
        int32_t w, h;
        Fit fit;
    } cases[] = {
        // 40 x 30 source.
        {40, 30, Fit::Contain}, {40, 30, Fit::Cover},   {40, 30, Fit::Stretch}, // both kept
        {40, 0, Fit::Contain},                                                  // both kept
        {40, 60, Fit::Contain}, {80, 30, Fit::Contain}, // fits already: framed only
        {30, 30, Fit::Cover},                           // cropped only
        {40, 60, Fit::Stretch}, {40, 20, Fit::Stretch}, // width kept
        {20, 30, Fit::Stretch}, {97, 30, Fit::Stretch}, // height kept
    };
    const ResizeFilter filters[] = {ResizeFilter::Default,    ResizeFilter::Nearest,
                                    ResizeFilter::Box,        ResizeFilter::Triangle,
                                    ResizeFilter::CatmullRom, ResizeFilter::Mitchell};
    for (const auto& c : cases) {
        for (const ResizeFilter filter : filters) {
            ReadingChoices choices;
            choices.resizeWidth = c.w, choices.resizeHeight = c.h, choices.fit = c.fit;
            choices.filter = filter, choices.background = 0x123456;
            const ResizePlan plan = planResize(40, 30, choices);
            const bool widthKept = plan.cropWidth == plan.innerWidth;
            const bool heightKept = plan.cropHeight == plan.innerHeight;
            ASSERT_TRUE(widthKept || heightKept);
            const std::string what = std::to_string(c.w) + "x" + std::to_string(c.h) + " fit " +
                                     std::to_string(static_cast<int>(c.fit)) + " filter " +
                                     std::to_string(static_cast<int>(filter));
            // Lines along the kept axis; across it when both are kept.
            RgbImage image = linesPicture(40, 30, widthKept);
            const Bytes expected = widthKept && heightKept
                                       ? copiedAndFramed(image, plan, choices.background)
                                       : Bytes{};
            ASSERT_EQ(resizePicture(&image, choices), Reason::None) << what;
            ASSERT_EQ(image.width, plan.width) << what;
            ASSERT_EQ(image.height, plan.height) << what;
            const Bytes got(image.pixels, image.pixels + size_t{3} * image.width * image.height);
            if (widthKept && heightKept) {
                EXPECT_EQ(got, expected) << what << ": the same picture";
            } else {
                for (int32_t y = 0; y < image.height; ++y)
                    for (int32_t x = 0; x < image.width; ++x)
                        ASSERT_EQ(Bytes(got.begin() + 3 * (y * image.width + x),
                                        got.begin() + 3 * (y * image.width + x) + 3),
                                  rgbOf({lineColour(x, y, widthKept)}))
                            << what << " pixel " << x << ", " << y << ": the line stays";
            }
            free(image.pixels);
        }
    }
}

// Profiles made with lcms itself and saved as a file would hold them.
Bytes savedProfile(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    Bytes bytes;
    if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &size)) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile != nullptr)
        cmsCloseProfile(profile);
    return bytes;
}

// White x, y, then red, green and blue x, y; curve: a power, or sRGB's when 0.
Bytes rgbProfile(const double xy[8], double power) {
    const cmsCIExyY white{xy[0], xy[1], 1.0};
    const cmsCIExyYTRIPLE primaries{{xy[2], xy[3], 1.0}, {xy[4], xy[5], 1.0}, {xy[6], xy[7], 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve =
        power > 0 ? cmsBuildGamma(nullptr, power) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Bytes bytes = savedProfile(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

void putBig32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// A 260-byte RGB profile whose one table claims 255^3 entries of 15
// channels: half a gigabyte that lcms would take before finding the data
// missing.
Bytes hugeTableProfile() {
    Bytes table = {'m', 'f', 't', '2', 0, 0, 0, 0, 3, 15, 255, 0};
    for (int i = 0; i < 9; ++i)
        putBig32(table, i % 4 == 0 ? 65536 : 0);
    table.insert(table.end(), {0, 2, 0, 2});
    table.resize(table.size() + 64);
    Bytes profile;
    putBig32(profile, static_cast<uint32_t>(128 + 4 + 12 + table.size()));
    for (const char* word : {"lcms", "\x02\x10\0\0", "scnr", "RGB ", "Lab "})
        profile.insert(profile.end(), word, word + 4);
    profile.resize(36);
    profile.insert(profile.end(), {'a', 'c', 's', 'p'});
    profile.resize(68);
    for (uint32_t v : {63190u, 65536u, 54061u}) // the D50 white
        putBig32(profile, v);
    profile.resize(128);
    putBig32(profile, 1);
    profile.insert(profile.end(), {'A', '2', 'B', '0'});
    putBig32(profile, 128 + 4 + 12);
    putBig32(profile, static_cast<uint32_t>(table.size()));
    profile.insert(profile.end(), table.begin(), table.end());
    return profile;
}

Bytes greyProfile(double power) {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, power);
    const Bytes bytes = savedProfile(cmsCreateGrayProfile(cmsD50_xyY(), curve));
    cmsFreeToneCurve(curve);
    return bytes;
}

// A python3 that has the imaging library with its colour management, or
// empty.
std::string pythonWithImaging() {
    for (const char* python : {"/usr/bin/python3", "python3"})
        if (system((std::string(python) + " -c 'import PIL.ImageCms' 2>/dev/null").c_str()) == 0)
            return python;
    return "";
}

// The imaging library's profileToProfile of the same pixels (RGBA, or the
// red channel as a grey picture) from the profile to its sRGB, with its
// defaults; RGBA back (alpha as given).
Bytes referenceConversion(const std::string& python, const Bytes& rgba, int32_t width,
                          int32_t height, const Bytes& profile, bool grey) {
    const TempDir dir;
    Bytes input;
    for (size_t i = 0; i < rgba.size(); i += 4)
        input.insert(input.end(), rgba.begin() + static_cast<long>(i),
                     rgba.begin() + static_cast<long>(i) + (grey ? 1 : 4));
    writeFileBytes(dir.file("in.raw"), input);
    writeFileBytes(dir.file("profile.icc"), profile);
    const std::string script =
        "import sys\n"
        "from PIL import Image, ImageCms\n"
        "w, h, d = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]\n"
        "mode = 'L' if sys.argv[4] == 'grey' else 'RGBA'\n"
        "im = Image.frombytes(mode, (w, h), open(d + '/in.raw', 'rb').read())\n"
        "out = ImageCms.profileToProfile(im, ImageCms.ImageCmsProfile(d + '/profile.icc'),\n"
        "    ImageCms.createProfile('sRGB'), outputMode='RGB' if mode == 'L' else 'RGBA')\n"
        "open(d + '/out.raw', 'wb').write(out.convert('RGBA').tobytes())\n";
    writeFileBytes(dir.file("convert.py"), Bytes(script.begin(), script.end()));
    const std::string command = python + " '" + dir.file("convert.py") + "' " +
                                std::to_string(width) + " " + std::to_string(height) + " '" +
                                dir.path + "' " + (grey ? "grey" : "rgb");
    if (system(command.c_str()) != 0)
        return {};
    Bytes out = readFileBytes(dir.file("out.raw"));
    for (size_t i = 3; i < out.size() && i < rgba.size(); i += 4)
        out[i] = rgba[i];
    return out;
}

double srgbEncoded(double linear) {
    const double v =
        linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return v * 255;
}

// The colour cube in steps of 17 (4096 pixels, 64 x 64), alpha varying.
Bytes colourCube() {
    Bytes rgba;
    for (int i = 0; i < 4096; ++i)
        for (int v : {(i >> 8) * 17, ((i >> 4) & 15) * 17, (i & 15) * 17, (i * 37) & 255})
            rgba.push_back(static_cast<uint8_t>(v));
    return rgba;
}

// Every grey (16 x 16), alpha varying.
Bytes greys() {
    Bytes rgba;
    for (int v = 0; v < 256; ++v)
        for (int c : {v, v, v, 255 - v})
            rgba.push_back(static_cast<uint8_t>(c));
    return rgba;
}

ColourSpace withProfile(const Bytes& profile) {
    ColourSpace space;
    space.iccProfile = profile;
    return space;
}

ColourSpace withChunks(uint32_t gamma, const std::vector<uint32_t>& chromaticities) {
    ColourSpace space;
    space.hasGamma = gamma != 0xFFFFFFFF;
    space.gamma = space.hasGamma ? gamma : 0;
    space.hasChromaticities = !chromaticities.empty();
    for (size_t i = 0; i < chromaticities.size() && i < 8; ++i)
        space.chromaticities[i] = chromaticities[i];
    return space;
}

constexpr uint32_t noGamma = 0xFFFFFFFF;

// What the file's colour space does to the pixels: the same bytes as the
// imaging library's conversion for an embedded profile, the formula for PNG
// gAMA and cHRM, nothing (with a warning) for a space that cannot be used.
TEST(ColourProfile, PicturesAreTurnedIntoSrgbAsDeclared) {
    const double displayP3[8] = {0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
    const double wideGamut[8] = {0.3127, 0.3290, 0.64, 0.33, 0.21, 0.71, 0.15, 0.06};
    const Bytes p3 = rgbProfile(displayP3, 0);
    ASSERT_FALSE(p3.empty());
    const Bytes cut(p3.begin(), p3.begin() + 200);
    Bytes noise(600);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 151 + 7);
    // Red takes sRGB's green primary, green its blue, blue its red.
    const std::vector<uint32_t> turnedChrm = {31270, 32900, 30000, 60000,
                                              15000, 6000,  64000, 33000};

    enum Expect { Unchanged, LikeReference, ByFormula };
    const struct {
        const char* what;
        ColourSpace space;
        Bytes pixels;
        Expect expect;
        Reason warning;
        const char* from;
        double power; // ByFormula: the decoding power, 0 for sRGB's curve
        bool turned;  // ByFormula: the primaries of turnedChrm
    } cases[] = {
        {"no colour space", ColourSpace{}, colourCube(), Unchanged, Reason::None, "", 0, false},
        {"Display P3", withProfile(p3), colourCube(), LikeReference, Reason::None,
         "the embedded profile \"RGB built-in\"", 0, false},
        {"wide gamut, power 2.2", withProfile(rgbProfile(wideGamut, 563.0 / 256)), colourCube(),
         LikeReference, Reason::None, "the embedded profile \"RGB built-in\"", 0, false},
        {"grey profile, grey picture", withProfile(greyProfile(1.8)), greys(), LikeReference,
         Reason::None, "the embedded profile \"gray built-in\"", 0, false},
        {"grey profile, colour picture", withProfile(greyProfile(1.8)), colourCube(), Unchanged,
         Reason::ColourProfileMismatch, "", 0, false},
        {"Lab profile", withProfile(savedProfile(cmsCreateLab4Profile(nullptr))), colourCube(),
         Unchanged, Reason::ColourProfileMismatch, "", 0, false},
        {"profile cut short", withProfile(cut), colourCube(), Unchanged,
         Reason::ColourProfileUnreadable, "", 0, false},
        {"noise for a profile", withProfile(noise), colourCube(), Unchanged,
         Reason::ColourProfileUnreadable, "", 0, false},
        {"a table too large for the memory allowed", withProfile(hugeTableProfile()), colourCube(),
         Unchanged, Reason::ColourProfileUnreadable, "", 0, false},
        {"gAMA 1/2.2", withChunks(45455, {}), greys(), ByFormula, Reason::None,
         "the file's gAMA 0.45455", 100000.0 / 45455, false},
        {"gAMA 1", withChunks(100000, {}), greys(), ByFormula, Reason::None,
         "the file's gAMA 1.00000", 1, false},
        {"cHRM alone", withChunks(noGamma, turnedChrm), colourCube(), ByFormula, Reason::None,
         "the file's cHRM", 0, true},
        {"gAMA and cHRM", withChunks(45455, turnedChrm), colourCube(), ByFormula, Reason::None,
         "the file's gAMA 0.45455 and cHRM", 100000.0 / 45455, true},
        {"gAMA 0", withChunks(0, {}), greys(), Unchanged, Reason::ColourChunksUnusable, "", 0,
         false},
        {"cHRM with a zero y",
         withChunks(45455, {31270, 0, 64000, 33000, 30000, 60000, 15000, 6000}), greys(), Unchanged,
         Reason::ColourChunksUnusable, "", 0, false},
        {"cHRM with one primary twice",
         withChunks(45455, {31270, 32900, 64000, 33000, 64000, 33000, 15000, 6000}), greys(),
         Unchanged, Reason::ColourChunksUnusable, "", 0, false},
    };
    const std::string python = pythonWithImaging();
    ASSERT_FALSE(python.empty()) << "no python3 with PIL.ImageCms (Debian: python3-pil)";
    for (const auto& c : cases) {
        Bytes pixels = c.pixels;
        const int32_t side = pixels.size() == 4096 * 4 ? 64 : 16;
        RgbaPicture picture{side, side, pixels.data()};
        const ColourConversion result = convertToSrgb(&picture, c.space);
        EXPECT_EQ(result.failure, Reason::None) << c.what;
        EXPECT_EQ(result.warning, c.warning) << c.what;
        EXPECT_EQ(result.from, c.from) << c.what;
        if (c.expect == Unchanged) {
            EXPECT_EQ(pixels, c.pixels) << c.what;
        } else if (c.expect == LikeReference) {
            const bool grey = c.pixels.size() == 256 * 4;
            const Bytes reference =
                referenceConversion(python, c.pixels, side, side, c.space.iccProfile, grey);
            ASSERT_EQ(reference.size(), pixels.size()) << c.what;
            EXPECT_EQ(pixels, reference) << c.what;
            EXPECT_NE(pixels, c.pixels) << c.what;
        } else {
            for (size_t i = 0; i < pixels.size(); i += 4) {
                for (int k = 0; k < 3; ++k) {
                    // With turned primaries, red shows the stored blue, green the red, blue the
                    // green.
                    const uint8_t stored = c.pixels[i + (c.turned ? (k + 2) % 3 : k)];
                    const double v = stored / 255.0;
                    const double linear =
                        c.power > 0
                            ? std::pow(v, c.power)
                            : (v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
                    ASSERT_NEAR(pixels[i + k], srgbEncoded(linear), 1.5)
                        << c.what << " pixel " << i / 4 << " channel " << k;
                }
                ASSERT_EQ(pixels[i + 3], c.pixels[i + 3]) << c.what << ": alpha as stored";
            }
        }
    }
}

// A file whose rows come out final, in order and opaque, and that needs no
// step over the whole picture, is read by rows, a band at a time, to the
// very pixels, warnings and failure of the whole reading; any other is left
// to the whole reading.
TEST(RowReading, GivesTheWholeReadingOrStandsAside) {
    ReadingChoices ignoreProfile;
    ignoreProfile.colourProfile = ColourProfile::Ignore;
    ReadingChoices resized;
    resized.resizeWidth = 8;
    const Bytes baseline = fixture("baseline.jpg");
    Bytes strayBytes = baseline;
    strayBytes.insert(strayBytes.begin() + static_cast<std::ptrdiff_t>(jpegMarker(baseline, 0xDA)),
                      {0x12, 0x34, 0x56});
    PngBuild grey16{3, 2, 16, 0, {}, {}, {{0, 1, 2, 3, 4, 5}, {250, 251, 252, 253, 254, 255}}};
    PngBuild palette{5, 1, 4, 3, {255, 0, 0, 0, 0, 255}, {}, {{0x01, 0x10, 0x00}}};
    PngBuild transparent = palette;
    transparent.transparency = {128};
    PngBuild withAlpha{1, 1, 8, 6, {}, {}, {{10, 20, 30, 40}}};
    BmpBuild bottomUp{5, 3, 24, 0, 40, 0, 0, {}, {}, {}};
    for (uint32_t y = 0; y < 3; ++y)
        bottomUp.rows.push_back({0x102030 * y, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080 + y});
    const Bytes bmp = buildBmp(bottomUp);
    BmpBuild topDown = bottomUp;
    topDown.height = -3;
    topDown.bitsPerPixel = 8;
    topDown.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080,
                       0x808081, 0x808082, 0x102030, 0x204060};
    topDown.palette.resize(256, 0x123456);
    BmpBuild oldHeader = bottomUp;
    oldHeader.infoSize = 12;
    BmpBuild thirtyTwo = bottomUp;
    thirtyTwo.bitsPerPixel = 32;
    ReadingChoices standard;
    standard.decoder = Decoder::Standard;
    const Bytes greyPng = buildPng(grey16);
    Bytes damagedEnd = greyPng;
    damagedEnd.back() ^= 0xFF; // IEND's CRC
    const struct {
        const char* what;
        Bytes file;
        ReadingChoices choices;
        bool byRows;
    } cases[] = {
        {"baseline JPEG", baseline, {}, true},
        {"4:4:4 JPEG", fixture("baseline444.jpg"), {}, true},
        {"progressive JPEG", fixture("progressive.jpg"), {}, true},
        {"arithmetic JPEG", fixture("arithmetic.jpg"), {}, true},
        {"progressive arithmetic JPEG", fixture("arithmetic-progressive.jpg"), {}, true},
        {"grey JPEG", fixture("grey.jpg"), {}, true},
        {"JPEG of 442 scans", fixture("scans-442.jpg"), {}, true},
        {"JPEG with stray bytes", strayBytes, {}, true},
        {"JPEG cut short",
         Bytes(baseline.begin(), baseline.begin() + baseline.size() * 3 / 5),
         {},
         true},
        {"JPEG with a profile, ignored", fixture("icc.jpg"), ignoreProfile, true},
        {"sRGB PNG", fixture("srgb.png"), {}, true},
        {"16-bit grey PNG", greyPng, {}, true},
        {"PNG with a damaged end", damagedEnd, {}, true},
        {"palette PNG", buildPng(palette), {}, true},
        {"PNG with gAMA and cHRM, ignored", fixture("gamma.png"), ignoreProfile, true},
        {"24-bit BMP", bmp, {}, true},
        {"8-bit BMP, top row first", buildBmp(topDown), {}, true},
        {"BMP whose last row lacks its padding", Bytes(bmp.begin(), bmp.end() - 1), {}, true},
        {"BMP with a 12-byte header", buildBmp(oldHeader), {}, false},
        {"32-bit BMP", buildBmp(thirtyTwo), {}, false},
        {"BMP cut short", Bytes(bmp.begin(), bmp.end() - 20), {}, false},
        {"BMP, standard reader", bmp, standard, false},
        {"TGA",
         buildTga(TgaBuild{2, 2, 1, 0, 0, 0, 24, 24, 0, {}, Bytes(6, 0x40), true}),
         {},
         false},
        {"CMYK JPEG", fixture("cmyk.jpg"), {}, false},
        {"JPEG with a profile", fixture("icc.jpg"), {}, false},
        {"turned JPEG", jpegOf(blocksJpeg, sizeof blocksJpeg, 6), {}, false},
        {"resized JPEG", baseline, resized, false},
        {"PNG with gAMA and cHRM", fixture("gamma.png"), {}, false},
        {"PNG with a profile", fixture("icc.png"), {}, false},
        {"palette PNG with tRNS", buildPng(transparent), {}, false},
        {"RGBA PNG", buildPng(withAlpha), {}, false},
        {"GIF", fixture("still.gif"), {}, false},
        {"WebP", fixture("lossless.webp"), {}, false},
    };
    for (const auto& c : cases) {
        PictureLoad byRows;
        ASSERT_EQ(readPictureBytesByRows(c.file, c.choices, 7, &byRows), c.byRows) << c.what;
        if (!c.byRows)
            continue;
        const PictureLoad whole = read(c.file, c.choices);
        EXPECT_EQ(byRows.failure, whole.failure) << c.what;
        EXPECT_EQ(byRows.warnings, whole.warnings) << c.what;
        EXPECT_EQ(pixelsOf(byRows), pixelsOf(whole)) << c.what;
        free(byRows.image.pixels);
        free(whole.image.pixels);
    }
}

} // namespace
