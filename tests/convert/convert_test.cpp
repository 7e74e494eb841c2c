#include "test_support.h"

#include "convert/convert.h"
#include "tests/reference/reference.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

Bytes flatImage(int32_t width, int32_t height, uint32_t rgb) {
    return rgbOf(std::vector<uint32_t>(static_cast<size_t>(width) * height, rgb));
}

std::vector<uint16_t> pixelWords(const Bytes& pixels, int32_t width, int32_t height,
                                 const Quantisation& quantisation) {
    const RgbImage image{width, height, const_cast<uint8_t*>(pixels.data())};
    int32_t bytes = -1;
    uint8_t* words = quantiseImage(image, quantisation, &bytes);
    std::vector<uint16_t> out;
    if (words == nullptr)
        return out;
    for (int32_t i = 0; i + 1 < bytes; i += 2)
        out.push_back(static_cast<uint16_t>(words[i] | (words[i + 1] << 8)));
    free(words);
    return out;
}

// The dialog's passes and the command line's own modes.
const Quantisation plain{DitherMethod::none, false, false};
const Quantisation fs{DitherMethod::floydSteinberg, false, false};
const Quantisation fsSerpentine{DitherMethod::floydSteinberg, true, false};
const Quantisation atkinson{DitherMethod::atkinsonBoyle, false, false};
const Quantisation atkinsonSerpentine{DitherMethod::atkinsonBoyle, true, false};
const Quantisation ordered{DitherMethod::ordered, false, false};

Quantisation withCompensation(Quantisation q, bool on) {
    q.greenCompensation = on;
    return q;
}

// The dialog's list: none, Floyd-Steinberg, Atkinson-Boyle; any other index
// runs the plain pass, and any non-zero compensation turns it on.
TEST(DialogQuantisation, ListIndexToMethod) {
    const struct {
        DitherMode mode;
        DitherMethod method;
    } cases[] = {{ditherNone, DitherMethod::none},
                 {ditherFloydSteinbergMode, DitherMethod::floydSteinberg},
                 {ditherAtkinsonBoyleMode, DitherMethod::atkinsonBoyle},
                 {-1, DitherMethod::none},
                 {3, DitherMethod::none},
                 {100, DitherMethod::none}};
    for (const auto& c : cases) {
        for (int32_t compensation : {0, 1, 5}) {
            const Quantisation q = dialogQuantisation(compensation, c.mode);
            EXPECT_EQ(q.method, c.method) << "mode " << c.mode;
            EXPECT_FALSE(q.serpentine);
            EXPECT_EQ(q.greenCompensation, compensation != 0);
        }
    }
}

TEST(QuantisePlain, PixelWordTable) {
    struct Case {
        uint32_t rgb;
        uint16_t off;
        uint16_t on;
    };
    const Case cases[] = {
        {0xFFFFFF, 0xFFFF, 0xFFDF}, {0x000000, 0x0000, 0x0000}, {0x808080, 0x8410, 0x8410},
        {0x646464, 0x632C, 0x630C}, {0x040404, 0x0020, 0x0000}, {0xFFFF00, 0xFFE0, 0xFFC0},
        {0x00FF00, 0x07E0, 0x07E0}, {0xFF0000, 0xF800, 0xF800}, {0x0000FF, 0x001F, 0x001F},
        {0x40FF40, 0x47E8, 0x47E8},                             // green equals neither
        {0x30FC00, 0x37E0, 0x37E0}, {0x00FCFC, 0x07FF, 0x07DF}, // equal to blue only
    };
    for (const Case& c : cases) {
        const Bytes pixel = flatImage(1, 1, c.rgb);
        EXPECT_EQ(pixelWords(pixel, 1, 1, plain), std::vector<uint16_t>{c.off})
            << std::hex << c.rgb;
        EXPECT_EQ(pixelWords(pixel, 1, 1, withCompensation(plain, true)),
                  std::vector<uint16_t>{c.on})
            << std::hex << c.rgb;
    }
}

std::vector<uint16_t> parseWords(std::initializer_list<uint16_t> words) {
    return words;
}

TEST(Dither, FourByFourGrey) {
    struct Case {
        Quantisation quantisation;
        std::vector<uint16_t> words;
    };
    const Case cases[] = {
        {fs, parseWords({0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x6B2D, 0x6B2D, 0x632C, 0x632C,
                         0x6B2D, 0x632C, 0x6B2D, 0x632C, 0x6B2D, 0x632C, 0x6B2D})},
        {withCompensation(fs, true),
         parseWords({0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x6B4D, 0x6B4D, 0x630C, 0x630C, 0x6B4D,
                     0x630C, 0x6B4D, 0x630C, 0x6B4D, 0x630C, 0x6B4D})},
        {atkinson, parseWords({0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x632C,
                               0x632C, 0x6B2D, 0x6B2D, 0x632C, 0x632C, 0x632C, 0x6B2D, 0x632C})},
        {withCompensation(atkinson, true),
         parseWords({0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x6B4D,
                     0x6B4D, 0x630C, 0x630C, 0x630C, 0x6B4D, 0x630C})},
    };
    const Bytes grey = flatImage(4, 4, 0x646464);
    for (const Case& c : cases)
        EXPECT_EQ(pixelWords(grey, 4, 4, c.quantisation), c.words)
            << ditherMethodName(c.quantisation.method) << ", compensation "
            << c.quantisation.greenCompensation;
}

TEST(Dither, FlatColoursHoldTheirLevel) {
    struct Case {
        uint32_t rgb;
        uint16_t off;
        uint16_t on;
    };
    const Case cases[] = {{0xFFFFFF, 0xFFFF, 0xFFDF},
                          {0x000000, 0x0000, 0x0000},
                          {0xFF0000, 0xF800, 0xF800},
                          {0x00FF00, 0x07E0, 0x07E0},
                          {0x0000FF, 0x001F, 0x001F}};
    for (const Case& c : cases) {
        const Bytes image = flatImage(7, 5, c.rgb);
        for (const Quantisation& q : {fs, atkinson, fsSerpentine, atkinsonSerpentine, ordered}) {
            const int method = static_cast<int>(q.method);
            EXPECT_EQ(pixelWords(image, 7, 5, withCompensation(q, false)),
                      std::vector<uint16_t>(35, c.off))
                << std::hex << c.rgb << " method " << method << " serpentine " << q.serpentine;
            EXPECT_EQ(pixelWords(image, 7, 5, withCompensation(q, true)),
                      std::vector<uint16_t>(35, c.on))
                << std::hex << c.rgb << " method " << method << " serpentine " << q.serpentine;
        }
    }
}

TEST(Dither, GreyImagesStayGreyUnderCompensation) {
    Bytes ramp;
    for (int i = 0; i < 9 * 6; ++i)
        ramp.insert(ramp.end(), 3, static_cast<uint8_t>(i * 37 % 256));
    for (const Quantisation& q : {plain, fs, atkinson, fsSerpentine, atkinsonSerpentine, ordered}) {
        for (uint16_t word : pixelWords(ramp, 9, 6, withCompensation(q, true))) {
            const unsigned red = word >> 11, green = (word >> 5) & 0x3F, blue = word & 0x1F;
            EXPECT_EQ(blue, red);
            EXPECT_EQ(green, 2 * red);
        }
    }
}

TEST(Dither, ErrorPastTheEdgesLandsInTheMargins) {
    // One pixel wide, two rows: every sideways share goes to the margin
    // columns, never to the start of the next row.
    const int32_t width = 1, height = 2, columns = 3 * width + 6, rows = height + 2;
    for (DitherMode mode : {1, 2}) {
        ChannelPlane P = allocPlane(columns, rows);
        ChannelPlane Q = allocPlane(columns, rows);
        ASSERT_NE(P, nullptr);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t j = 0; j < 3; ++j)
                P[y][j] = 100 * 257;
        if (mode == 1)
            ditherFloydSteinberg(P, Q, width, height, 0);
        else
            ditherAtkinsonBoyle(P, Q, width, height, 0);
        const int32_t redError = 25700 & 0x07FF; // 1124
        const int32_t down = mode == 1 ? (redError * 5) >> 4 : redError >> 3;
        const int32_t right = mode == 1 ? (redError * 7) >> 4 : redError >> 3;
        EXPECT_EQ(P[1][0], 25700 + down) << "mode " << mode;
        EXPECT_EQ(P[0][3], right) << "mode " << mode; // the margin, zero-filled at start
        if (mode == 2) {
            // Two rows down lies the bottom margin: it takes shares from both rows.
            const int32_t secondRowError = (25700 + down) & 0x07FF;
            EXPECT_EQ(P[2][0], (redError >> 3) + (secondRowError >> 3));
        }
        freePlane(P, rows);
        freePlane(Q, rows);
    }
}

TEST(Dither, FirstRowDoesNotDependOnTheRowsBelow) {
    Bytes tall;
    for (int i = 0; i < 6 * 5; ++i)
        tall.insert(tall.end(), {static_cast<uint8_t>(i * 13), static_cast<uint8_t>(i * 7 + 3),
                                 static_cast<uint8_t>(255 - i * 5)});
    const Bytes firstRow(tall.begin(), tall.begin() + 6 * 3);
    for (const Quantisation& q : {fs, atkinson, fsSerpentine, atkinsonSerpentine}) {
        const auto tallWords = pixelWords(tall, 6, 5, withCompensation(q, true));
        const auto rowWords = pixelWords(firstRow, 6, 1, withCompensation(q, true));
        ASSERT_EQ(tallWords.size(), 30u);
        EXPECT_EQ(std::vector<uint16_t>(tallWords.begin(), tallWords.begin() + 6), rowWords);
    }
}

Bytes noiseImage(int32_t width, int32_t height, uint32_t seed) {
    Bytes pixels(static_cast<size_t>(width) * height * 3);
    for (uint8_t& v : pixels) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(seed >> 24);
    }
    return pixels;
}

// Serpentine runs start like the plain passes: row 0, and so a one-row
// picture, comes out the same. An odd row under a black row receives no
// error, so walking it right to left with the pattern mirrored must give the
// plain pass's first row of the mirrored row, mirrored back.
TEST(Serpentine, EvenRowsAsThePlainPassOddRowsMirrored) {
    const int32_t width = 13;
    const Bytes picture = noiseImage(width, 4, 21);
    const Bytes row(picture.begin() + 3 * width, picture.begin() + 6 * width);
    Bytes mirroredRow;
    for (int32_t x = width - 1; x >= 0; --x)
        mirroredRow.insert(mirroredRow.end(), row.begin() + 3 * x, row.begin() + 3 * x + 3);
    Bytes blackAbove(3 * width, 0);
    blackAbove.insert(blackAbove.end(), row.begin(), row.end());
    const std::pair<Quantisation, Quantisation> pairs[] = {{fsSerpentine, fs},
                                                           {atkinsonSerpentine, atkinson}};
    for (const auto& [serpentine, plain] : pairs) {
        for (bool compensation : {false, true}) {
            const Quantisation s = withCompensation(serpentine, compensation);
            const Quantisation p = withCompensation(plain, compensation);
            const auto serpentineWords = pixelWords(picture, width, 4, s);
            const auto plainWords = pixelWords(picture, width, 4, p);
            ASSERT_EQ(serpentineWords.size(), 4u * width);
            EXPECT_TRUE(std::equal(plainWords.begin(), plainWords.begin() + width,
                                   serpentineWords.begin()));
            EXPECT_NE(serpentineWords, plainWords);
            EXPECT_EQ(pixelWords(row, width, 1, s), pixelWords(row, width, 1, p));

            auto expected = pixelWords(mirroredRow, width, 1, p);
            std::reverse(expected.begin(), expected.end());
            const auto odd = pixelWords(blackAbove, width, 2, s);
            EXPECT_EQ(std::vector<uint16_t>(odd.begin() + width, odd.end()), expected)
                << "method " << static_cast<int>(s.method) << ", compensation " << compensation;
        }
    }
    // The flag means nothing to the passes without error.
    for (DitherMethod method : {DitherMethod::none, DitherMethod::ordered})
        EXPECT_EQ(pixelWords(picture, width, 4, Quantisation{method, true, true}),
                  pixelWords(picture, width, 4, Quantisation{method, false, true}));
}

// Each word of the ordered pass depends only on its own pixel and position.
TEST(Ordered, OneChangedPixelChangesOneWord) {
    const int32_t width = 19;
    const int32_t height = 11;
    const Bytes picture = noiseImage(width, height, 5);
    for (bool compensation : {false, true}) {
        const Quantisation q = withCompensation(ordered, compensation);
        const auto before = pixelWords(picture, width, height, q);
        for (const int32_t at : {0, 7, 100, width * height - 1}) {
            for (int32_t channel = 0; channel < 3; ++channel) {
                Bytes changed = picture;
                changed[3 * at + channel] ^= 0x5A;
                const auto after = pixelWords(changed, width, height, q);
                for (int32_t i = 0; i < width * height; ++i)
                    EXPECT_TRUE(i == at || after[i] == before[i])
                        << "pixel " << i << " after " << at;
                EXPECT_NE(after[at], before[at]) << "pixel " << at;
            }
        }
    }
}

// A flat 8 x 8 area averages, as the preview shows it, to its colour: the
// Bayer thresholds cut the gap between the two levels shown around each value
// into 64 slices. Under compensation a grey gets one decision for all three
// channels, so every word of it stays grey.
TEST(Ordered, FlatAreasAverageToTheirColourAsShown) {
    std::vector<uint32_t> colours;
    for (uint32_t grey = 0; grey < 256; ++grey)
        colours.push_back(grey * 0x010101);
    const size_t greys = colours.size();
    for (uint32_t rgb : {0x336699u, 0xC86432u, 0x12FE80u, 0xFF0001u, 0x7F8081u, 0x04FB07u})
        colours.push_back(rgb);
    const int32_t width = 8 * static_cast<int32_t>(colours.size());
    const auto tileOf = [width](size_t i) { return i % static_cast<size_t>(width) / 8; };
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * 8);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = colours[tileOf(i)];
    const Bytes picture = rgbOf(pixels);

    const auto words = pixelWords(picture, width, 8, ordered);
    ASSERT_EQ(words.size(), pixels.size());
    std::vector<std::array<int32_t, 3>> sums(colours.size());
    for (size_t i = 0; i < words.size(); ++i) {
        uint8_t shown[3];
        widenWord(words[i], shown);
        for (int32_t c = 0; c < 3; ++c)
            sums[tileOf(i)][c] += shown[c];
    }
    for (size_t tile = 0; tile < colours.size(); ++tile)
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(sums[tile][c] / 64.0, colours[tile] >> (16 - 8 * c) & 0xFF, 0.6)
                << std::hex << "colour " << colours[tile] << ", channel " << c;

    const auto compensated = pixelWords(picture, width, 8, withCompensation(ordered, true));
    ASSERT_EQ(compensated.size(), pixels.size());
    for (size_t i = 0; i < compensated.size(); ++i) {
        const int32_t word = compensated[i];
        const bool grey = (word >> 5 & 0x3F) == 2 * (word >> 11) && (word >> 11) == (word & 0x1F);
        EXPECT_TRUE(tileOf(i) >= greys || grey)
            << "grey " << tileOf(i) << ": word " << std::hex << word;
    }
}

TEST(Dither, CompensationComparesAgainstTheBlueWithItsReceivedError) {
    // Pixel 1's green (4) and blue (3) differ as input, but the blue has
    // received 257 more error than the green from pixel 0, so the two working
    // values are equal and the green takes 5 bits: the word is 0x0000, where
    // comparing the input values would give 0x0020.
    const Bytes image = rgbOf({0x00024C, 0x000403});
    EXPECT_EQ(pixelWords(image, 2, 1, withCompensation(fs, true)), parseWords({0x0009, 0x0000}));
    EXPECT_EQ(pixelWords(image, 2, 1, fs), parseWords({0x0009, 0x0020}));
}

std::string hexOf(const Bytes& bytes) {
    std::string out;
    char buffer[4];
    for (uint8_t b : bytes) {
        snprintf(buffer, sizeof buffer, "%02X ", b);
        out += buffer;
    }
    return out;
}

TEST(RgnFile, SmallFilesByteForByte) {
    const std::string fixedWords = "20 00 70 01 20 00 00 00 40 00 00 00 00 00 00 00 10 00 00 00 "
                                   "00 F8 00 00 E0 07 00 00 1F 00 00 00 00 00 00 00 ";
    struct Case {
        const char* what;
        int32_t width, height;
        bool nullPixels;
        std::string expected;
    };
    const Case cases[] = {
        {"1 x 1 white", 1, 1, false,
         "01 00 00 00 01 00 00 00 02 00 00 00 " + fixedWords + "FF FF "},
        {"0 wide", 0, 7, false, "00 00 00 00 07 00 00 00 00 00 00 00 " + fixedWords},
        {"0 high", 5, 0, false, "05 00 00 00 00 00 00 00 00 00 00 00 " + fixedWords},
        {"0 x 2^31-1", 0, INT32_MAX, false, "00 00 00 00 FF FF FF 7F 00 00 00 00 " + fixedWords},
        {"null pixels with stale sizes", 320, 240, true,
         "00 00 00 00 00 00 00 00 00 00 00 00 " + fixedWords},
    };
    TempDir dir;
    const Bytes white = flatImage(1, 1, 0xFFFFFF);
    for (const Case& c : cases) {
        uint8_t* pixels = c.nullPixels ? nullptr : const_cast<uint8_t*>(white.data());
        ASSERT_TRUE(succeeded(convertImageToFile(dir.file("o.rgn").c_str(),
                                                 RgbImage{c.width, c.height, pixels},
                                                 dialogQuantisation(0, 0))))
            << c.what;
        EXPECT_EQ(hexOf(readFileBytes(dir.file("o.rgn"))), c.expected) << c.what;
    }
}

TEST(RgnFile, ExistingTargetIsReplaced) {
    TempDir dir;
    writeFileBytes(dir.file("o.rgn"), Bytes(5000, 0x11));
    const Bytes white = flatImage(1, 1, 0xFFFFFF);
    ASSERT_TRUE(succeeded(convertImageToFile(dir.file("o.rgn").c_str(),
                                             RgbImage{1, 1, const_cast<uint8_t*>(white.data())},
                                             dialogQuantisation(0, 2))));
    EXPECT_EQ(readFileBytes(dir.file("o.rgn")).size(), 50u);
}

TEST(RgnFile, DiskFillingDuringTheWriteRemovesThePartialFile) {
    TempDir dir;
    const std::string target = dir.file("big.rgn");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file may grow to 600 000 bytes: the header and the first of
        // the five pieces fit, the rest do not, so the write fails while
        // later pieces are being made.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{600000, 600000};
        setrlimit(RLIMIT_FSIZE, &limit);
        Bytes image = flatImage(2000, 300, 0x808080);
        const Status result = convertImageToFile(target.c_str(), RgbImage{2000, 300, image.data()},
                                                 dialogQuantisation(1, 1));
        _exit(succeeded(result) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the run reported success";
    EXPECT_FALSE(fileExists(target));
}

TEST(RgnFile, ImagesTooLargeForTheFormatAreRefusedBeforeTheTargetIsTouched) {
    TempDir dir;
    writeFileBytes(dir.file("keep.rgn"), Bytes(10, 0x22));
    uint8_t pixel[3] = {1, 2, 3}; // never read: the sizes are refused first
    const RgbImage cases[] = {{40000, 40000, pixel}, {-1, 5, pixel}, {5, -1, pixel}};
    for (const RgbImage& image : cases)
        EXPECT_FALSE(succeeded(
            convertImageToFile(dir.file("keep.rgn").c_str(), image, dialogQuantisation(1, 1))));
    EXPECT_EQ(readFileBytes(dir.file("keep.rgn")), Bytes(10, 0x22));
}

// A picture handed to a run a few rows at a time, as a decoder gives them,
// and failing after failAfter rows (never, for -1).
struct RowFeed {
    const Bytes* pixels;
    int32_t width;
    int32_t given;
    int32_t failAfter;
    std::vector<int32_t> counts;
};

Reason feedRows(void* context, int32_t count, uint8_t* rows) {
    auto* feed = static_cast<RowFeed*>(context);
    feed->counts.push_back(count);
    if (feed->failAfter >= 0 && feed->given + count > feed->failAfter)
        return Reason::CutShort;
    const size_t rowBytes = size_t{3} * static_cast<size_t>(feed->width);
    std::copy_n(feed->pixels->begin() + static_cast<std::ptrdiff_t>(feed->given * rowBytes),
                count * rowBytes, rows);
    feed->given += count;
    return Reason::None;
}

// Rows that arrive while the run goes, into a window of one piece's rows,
// give the words of the same picture held whole, in every mode, for one
// piece, a few pieces (the second thread) and a last piece cut short; each
// row is asked for once, in order. A feed that fails leaves the target as
// it was and says why; a target written in place gets every row before its
// first byte.
TEST(RgnFile, RowsSuppliedAsTheRunGoesGiveTheWholePicturesWords) {
    struct Shape {
        int32_t width, height;
    };
    const Shape shapes[] = {{7, 5}, {4000, 100}, {2731, 97}};
    const Quantisation modes[] = {plain, fs, fsSerpentine, atkinson, atkinsonSerpentine, ordered};
    TempDir dir;
    for (const Shape& shape : shapes) {
        Bytes pixels(size_t{3} * shape.width * shape.height);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<uint8_t>((i * 7919 + i / 3000 * 13) >> 3);
        for (const Quantisation& mode : modes) {
            for (const bool compensate : {true, false}) {
                if (!compensate && shape.width > 7)
                    continue; // the small picture tries both; the rest only the default
                const Quantisation q = withCompensation(mode, compensate);
                const std::string what =
                    std::to_string(shape.width) + " x " + std::to_string(shape.height) + " " +
                    ditherMethodName(q.method) + (q.serpentine ? " serpentine" : "");
                ASSERT_TRUE(succeeded(
                    convertImageToFile(dir.file("whole.rgn").c_str(),
                                       RgbImage{shape.width, shape.height, pixels.data()}, q)));
                RowFeed feed{&pixels, shape.width, 0, -1, {}};
                ASSERT_TRUE(succeeded(convertRowsToFile(dir.file("rows.rgn").c_str(), shape.width,
                                                        shape.height, q, {&feed, feedRows})))
                    << what;
                EXPECT_EQ(readFileBytes(dir.file("rows.rgn")), readFileBytes(dir.file("whole.rgn")))
                    << what;
                EXPECT_EQ(feed.given, shape.height) << what;
            }
        }
    }
    const Bytes kept(10, 0x22);
    writeFileBytes(dir.file("keep.rgn"), kept);
    const Shape big = shapes[1]; // four pieces of 32 rows and one of 4
    Bytes pixels(size_t{3} * big.width * big.height, 0x80);
    for (const int32_t failAfter : {0, 31, 64, 99}) {
        RowFeed feed{&pixels, big.width, 0, failAfter, {}};
        const Status status = convertRowsToFile(dir.file("keep.rgn").c_str(), big.width, big.height,
                                                fs, {&feed, feedRows});
        EXPECT_EQ(status.reason, Reason::CutShort) << failAfter;
        EXPECT_EQ(readFileBytes(dir.file("keep.rgn")), kept) << failAfter;
    }
    RowFeed feed{&pixels, big.width, 0, 60, {}};
    EXPECT_EQ(convertRowsToFile("/dev/null", big.width, big.height, fs, {&feed, feedRows}).reason,
              Reason::CutShort);
    EXPECT_EQ(feed.counts, std::vector<int32_t>{big.height});
}

} // namespace
