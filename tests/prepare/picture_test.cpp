// The command line's reading after decoding: transparency over the
// background, the EXIF turns and resizing.
#include "test_support.h"

#include "prepare/steps.h"

#include <cstdlib>
#include <gtest/gtest.h>

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

} // namespace
