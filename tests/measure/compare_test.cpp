// The comparison's figures on pictures whose answers are known, CIEDE2000
// against published reference pairs, and the contact sheet as a PNG file.
#include "test_support.h"

#include "formats/png_encode.h"
#include "measure/comparison.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Sharma, Wu and Dalal's test data for CIEDE2000 (2005): L, a, b of each
// colour and the difference to four decimals. Pairs 1-6 and 21-24 walk the
// hue and chroma corrections, 7-16 the hue angle's wrap and the achromatic
// case, 17-20 large differences, 25-34 everyday colours.
TEST(Figures, Ciede2000MatchesThePublishedPairs) {
    struct Pair {
        LabColour first;
        LabColour second;
        double difference;
    };
    const Pair pairs[] = {
        {{50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}, 2.0425},
        {{50.0, 3.1571, -77.2803}, {50.0, 0.0, -82.7485}, 2.8615},
        {{50.0, 2.8361, -74.0200}, {50.0, 0.0, -82.7485}, 3.4412},
        {{50.0, -1.3802, -84.2814}, {50.0, 0.0, -82.7485}, 1.0000},
        {{50.0, -1.1848, -84.8006}, {50.0, 0.0, -82.7485}, 1.0000},
        {{50.0, -0.9009, -85.5211}, {50.0, 0.0, -82.7485}, 1.0000},
        {{50.0, 0.0, 0.0}, {50.0, -1.0, 2.0}, 2.3669},
        {{50.0, -1.0, 2.0}, {50.0, 0.0, 0.0}, 2.3669},
        {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0009}, 7.1792},
        {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0010}, 7.1792},
        {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0011}, 7.2195},
        {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0012}, 7.2195},
        {{50.0, -0.001, 2.49}, {50.0, 0.0009, -2.49}, 4.8045},
        {{50.0, -0.001, 2.49}, {50.0, 0.0010, -2.49}, 4.8045},
        {{50.0, -0.001, 2.49}, {50.0, 0.0011, -2.49}, 4.7461},
        {{50.0, 2.5, 0.0}, {50.0, 0.0, -2.5}, 4.3065},
        {{50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}, 27.1492},
        {{50.0, 2.5, 0.0}, {61.0, -5.0, 29.0}, 22.8977},
        {{50.0, 2.5, 0.0}, {56.0, -27.0, -3.0}, 31.9030},
        {{50.0, 2.5, 0.0}, {58.0, 24.0, 15.0}, 19.4535},
        {{50.0, 2.5, 0.0}, {50.0, 3.1736, 0.5854}, 1.0000},
        {{50.0, 2.5, 0.0}, {50.0, 3.2972, 0.0}, 1.0000},
        {{50.0, 2.5, 0.0}, {50.0, 1.8634, 0.5757}, 1.0000},
        {{50.0, 2.5, 0.0}, {50.0, 3.2592, 0.3350}, 1.0000},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
        {{63.0109, -31.0961, -5.8663}, {62.8187, -29.7946, -4.0864}, 1.2630},
        {{61.2901, 3.7196, -5.3901}, {61.4292, 2.2480, -4.9620}, 1.8731},
        {{35.0831, -44.1164, 3.7933}, {35.0232, -40.0716, 1.5901}, 1.8645},
        {{22.7233, 20.0904, -46.6940}, {23.0331, 14.9730, -42.5619}, 2.0373},
        {{36.4612, 47.8580, 18.3852}, {36.2715, 50.5065, 21.2231}, 1.4146},
        {{90.8027, -2.0831, 1.4410}, {91.1528, -1.6435, 0.0447}, 1.4441},
        {{90.9257, -0.5406, -0.9208}, {88.6381, -0.8985, -0.7239}, 1.5381},
        {{6.7747, -0.2908, -2.4247}, {5.8714, -0.0985, -2.2286}, 0.6377},
        {{2.0776, 0.0795, -1.1350}, {0.9033, -0.0636, -0.5514}, 0.9082},
    };
    int number = 1;
    for (const Pair& p : pairs) {
        EXPECT_NEAR(ciede2000(p.first, p.second), p.difference, 0.00005) << "pair " << number;
        EXPECT_NEAR(ciede2000(p.second, p.first), p.difference, 0.00005) << "pair " << number;
        ++number;
    }
}

TEST(Figures, SrgbInLab) {
    struct Case {
        uint32_t rgb;
        LabColour lab;
    };
    const Case cases[] = {{0xFFFFFF, {100.0, 0.0, 0.0}},      {0x000000, {0.0, 0.0, 0.0}},
                          {0x808080, {53.585, 0.0, 0.0}},     {0xFF0000, {53.24, 80.09, 67.20}},
                          {0x00FF00, {87.73, -86.18, 83.18}}, {0x0000FF, {32.30, 79.19, -107.86}}};
    for (const Case& c : cases) {
        const LabColour lab = labOfSrgb(c.rgb >> 16, c.rgb >> 8 & 0xFF, c.rgb & 0xFF);
        EXPECT_NEAR(lab.L, c.lab.L, 0.01) << std::hex << c.rgb;
        EXPECT_NEAR(lab.a, c.lab.a, 0.01) << std::hex << c.rgb;
        EXPECT_NEAR(lab.b, c.lab.b, 0.01) << std::hex << c.rgb;
    }
}

struct Measured {
    bool infinite;
    double psnr;
    double mean;
    double max;
    double greyDrift;
};

Measured measure(const Bytes& pixels, int32_t width, int32_t height, const Quantisation& q) {
    const RgbImage image{width, height, const_cast<uint8_t*>(pixels.data())};
    int32_t bytes = 0;
    uint8_t* words = quantiseImage(image, q, &bytes);
    const QualityFigures f = measureQuality(image, words);
    free(words);
    Measured m{};
    m.infinite = !psnrOf(f, &m.psnr);
    m.mean = meanDeltaEOf(f);
    m.max = f.deltaEMax;
    m.greyDrift = greyDriftOf(f);
    return m;
}

TEST(Figures, KnownPictures) {
    const Quantisation plain{DitherMethod::none, false, false};
    const Quantisation compensated{DitherMethod::none, false, true};

    // Every colour whose channels are already at their 5- or 6-bit levels
    // expands back to itself: infinite PSNR, no difference, no drift.
    Bytes exact(3 * 64);
    for (uint32_t i = 0; i < 64; ++i)
        widenWord(static_cast<uint16_t>(i * 1021 + 7), &exact[3 * i]);
    const Measured same = measure(exact, 8, 8, plain);
    EXPECT_TRUE(same.infinite);
    EXPECT_EQ(same.mean, 0.0);
    EXPECT_EQ(same.max, 0.0);
    EXPECT_EQ(same.greyDrift, 0.0);

    // A flat colour: every pixel is off by the same amount, so the mean
    // difference is the maximum and PSNR follows from one pixel's error.
    Bytes flatColour;
    for (int i = 0; i < 30; ++i)
        flatColour.insert(flatColour.end(), {0x65, 0x63, 0x66});
    const Measured f = measure(flatColour, 6, 5, plain);
    uint8_t widened[3];
    widenWord(static_cast<uint16_t>((0x65 >> 3) << 11 | (0x63 >> 2) << 5 | 0x66 >> 3), widened);
    const double squared = std::pow(widened[0] - 0x65, 2) + std::pow(widened[1] - 0x63, 2) +
                           std::pow(widened[2] - 0x66, 2);
    EXPECT_NEAR(f.psnr, 10 * std::log10(255.0 * 255.0 * 3 / squared), 1e-9);
    EXPECT_NEAR(f.mean, f.max, 1e-12);
    EXPECT_GT(f.mean, 0.0);

    // A grey ramp: with compensation mode None keeps every grey grey, without
    // it most greens land on an odd 6-bit level.
    Bytes ramp;
    for (int v = 0; v < 256; ++v)
        ramp.insert(ramp.end(), 3, static_cast<uint8_t>(v));
    EXPECT_EQ(measure(ramp, 16, 16, compensated).greyDrift, 0.0);
    EXPECT_GT(measure(ramp, 16, 16, plain).greyDrift, 0.4);
    // Pixels that are not grey do not count either way.
    EXPECT_EQ(measure(Bytes{0x10, 0x20, 0x30}, 1, 1, plain).greyDrift, 0.0);
}

TEST(Figures, FiguresAsPrinted) {
    struct Case {
        double value;
        int32_t decimals;
        const char* text;
    };
    const Case cases[] = {{1.005, 2, "1.00"},  {1.0051, 2, "1.01"},    {38.185, 2, "38.19"},
                          {0.0, 4, "0.0000"},  {0.42275, 4, "0.4228"}, {123.4, 0, "123"},
                          {-0.001, 2, "0.00"}, {-2.5, 1, "-2.5"}};
    for (const Case& c : cases) {
        char text[32];
        formatFigure(c.value, c.decimals, text, sizeof text);
        EXPECT_STREQ(text, c.text) << c.value;
    }
}

uint32_t bigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at] << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 |
                                 bytes[at + 3]);
}

// The sheet of a picture: its layout for the zoom, the source drawn
// unchanged in its tile, and a PNG of that size. Pictures of no pixels still
// give a sheet of labels.
TEST(ContactSheet, LayoutTilesAndPng) {
    struct Case {
        int32_t width, height, zoom;
        int32_t sheetWidth, sheetHeight;
    };
    const Case cases[] = {
        {400, 240, 1, 4 * 400 + 5 * 8, 2 * (240 + sheetLabelHeight) + 3 * 8},
        {160, 120, 2, 4 * 320 + 5 * 8, 2 * (240 + sheetLabelHeight) + 3 * 8},
        {1, 1, 256, 4 * 256 + 5 * 8, 2 * (256 + sheetLabelHeight) + 3 * 8},
        {3, 2, 3, 4 * sheetLabelWidth + 5 * 8, 2 * (6 + sheetLabelHeight) + 3 * 8},
        {0, 0, 1, 4 * sheetLabelWidth + 5 * 8, 2 * sheetLabelHeight + 3 * 8},
    };
    for (const Case& c : cases) {
        SheetLayout layout{};
        ASSERT_TRUE(planSheet(c.width, c.height, c.zoom, &layout)) << c.width;
        EXPECT_EQ(layout.width, c.sheetWidth);
        EXPECT_EQ(layout.height, c.sheetHeight);

        Bytes picture(static_cast<size_t>(c.width) * c.height * 3);
        for (size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<uint8_t>(i * 7 + 1);
        ContactSheet sheet = allocSheet(layout);
        ASSERT_NE(sheet.rgb, nullptr);
        ComparedResult results[comparedChoices];
        ASSERT_TRUE(compareQuantisations(RgbImage{c.width, c.height, picture.data()}, true, &sheet,
                                         results));
        sortComparedResults(results);
        labelSheet(&sheet, true, results);
        if (c.width > 0) {
            // The source tile, centred in the first cell: the last picture
            // pixel at the bottom right of its zoomed block.
            const int32_t left = sheetGap + (layout.cellWidth - layout.tileWidth) / 2;
            const size_t at =
                (static_cast<size_t>(sheetGap + layout.tileHeight - 1) * layout.width + left +
                 layout.tileWidth - 1) *
                3;
            EXPECT_EQ(Bytes(sheet.rgb + at, sheet.rgb + at + 3),
                      Bytes(picture.end() - 3, picture.end()));
        }
        const std::vector<uint8_t> png = encodePngRgb(sheet.rgb, layout.width, layout.height);
        freeSheet(&sheet);
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(Bytes(png.begin(), png.begin() + 8),
                  (Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}));
        EXPECT_EQ(bigEndian32(png, 16), static_cast<uint32_t>(layout.width));
        EXPECT_EQ(bigEndian32(png, 20), static_cast<uint32_t>(layout.height));
        EXPECT_EQ(Bytes(png.end() - 8, png.end() - 4), (Bytes{'I', 'E', 'N', 'D'}));
    }
    const std::pair<int32_t, int32_t> zooms[] = {{0, 1},   {1, 256}, {3, 86}, {160, 2},
                                                 {255, 2}, {256, 1}, {800, 1}};
    for (const auto& [width, zoom] : zooms)
        EXPECT_EQ(defaultSheetZoom(width), zoom) << width;
    // Too large a sheet is refused before anything is allocated.
    SheetLayout layout{};
    EXPECT_FALSE(planSheet(20000, 20000, 1, &layout));
    EXPECT_FALSE(planSheet(100, 100, sheetMostZoom + 1, &layout));
    EXPECT_TRUE(encodePngRgb(nullptr, 0, 0).empty());
}

// The results come out best first by the printed mean, and every one is
// measured: on a grey ramp, the compensated None is exact on grey drift.
TEST(ContactSheet, ComparisonOrderAndFigures) {
    Bytes ramp;
    for (int i = 0; i < 64 * 8; ++i)
        ramp.insert(ramp.end(), 3, static_cast<uint8_t>(i % 64 * 4));
    ComparedResult results[comparedChoices];
    ASSERT_TRUE(compareQuantisations(RgbImage{64, 8, ramp.data()}, true, nullptr, results));
    const Measured none = measure(ramp, 64, 8, results[0].quantisation);
    EXPECT_EQ(results[0].quantisation.method, DitherMethod::none);
    EXPECT_DOUBLE_EQ(meanDeltaEOf(results[0].figures), none.mean);
    sortComparedResults(results);
    for (int32_t i = 1; i < comparedChoices; ++i)
        EXPECT_LE(std::llround(meanDeltaEOf(results[i - 1].figures) * 100),
                  std::llround(meanDeltaEOf(results[i].figures) * 100));
    for (const ComparedResult& r : results) {
        EXPECT_EQ(r.figures.pixels, 64u * 8u);
        const bool keepsGrey =
            r.quantisation.greenCompensation && (r.quantisation.method == DitherMethod::none ||
                                                 r.quantisation.method == DitherMethod::ordered);
        EXPECT_TRUE(!keepsGrey || greyDriftOf(r.figures) == 0.0);
    }

    // Many colours, a few hundred of them repeated (greys among them), on a
    // picture wider than a band and of an odd height: the comparison's
    // cached colour differences, bands and two threads give, to the last bit,
    // the sums of one uncached pass over each whole quantisation.
    const int32_t width = 2100;
    const int32_t height = 13;
    Bytes mixed;
    uint32_t seed = 12345;
    for (int32_t i = 0; i < width * height; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t colour = seed >> 16 & 0x1FF;
        if (colour < 40)
            mixed.insert(mixed.end(), 3, static_cast<uint8_t>(colour * 6));
        else
            mixed.insert(mixed.end(),
                         {static_cast<uint8_t>(colour * 37), static_cast<uint8_t>(colour * 91),
                          static_cast<uint8_t>(seed >> 8)});
    }
    const RgbImage image{width, height, mixed.data()};
    ASSERT_TRUE(compareQuantisations(image, false, nullptr, results));
    for (const ComparedResult& r : results) {
        int32_t bytes = 0;
        uint8_t* words = quantiseImage(image, r.quantisation, &bytes);
        QualityFigures alone{};
        measurePixels(mixed.data(), int64_t{width} * height, &words, 1, &alone, nullptr);
        free(words);
        EXPECT_EQ(r.figures.squaredError, alone.squaredError);
        EXPECT_EQ(r.figures.pixels, alone.pixels);
        EXPECT_EQ(r.figures.deltaESum, alone.deltaESum);
        EXPECT_EQ(r.figures.deltaEMax, alone.deltaEMax);
        EXPECT_EQ(r.figures.greyPixels, alone.greyPixels);
        EXPECT_EQ(r.figures.greyDrifted, alone.greyDrifted);
    }
}

} // namespace
