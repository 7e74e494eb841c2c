#include "test_support.h"

#include "convert/convert.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

Bytes flatImage(int32_t width, int32_t height, uint32_t rgb) {
    return rgbOf(std::vector<uint32_t>(static_cast<size_t>(width) * height, rgb));
}

std::vector<uint16_t> pixelWords(const Bytes& pixels, int32_t width, int32_t height,
                                 int32_t greenCompensation, DitherMode mode) {
    const RgbImage image{width, height, const_cast<uint8_t*>(pixels.data())};
    int32_t bytes = -1;
    uint8_t* words = quantiseImage(image, greenCompensation, mode, &bytes);
    std::vector<uint16_t> out;
    if (words == nullptr)
        return out;
    for (int32_t i = 0; i + 1 < bytes; i += 2)
        out.push_back(static_cast<uint16_t>(words[i] | (words[i + 1] << 8)));
    free(words);
    return out;
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
        for (DitherMode mode : {0, -1, 3, 100}) {
            const Bytes pixel = flatImage(1, 1, c.rgb);
            EXPECT_EQ(pixelWords(pixel, 1, 1, 0, mode), std::vector<uint16_t>{c.off})
                << std::hex << c.rgb;
            EXPECT_EQ(pixelWords(pixel, 1, 1, 1, mode), std::vector<uint16_t>{c.on})
                << std::hex << c.rgb;
        }
    }
}

std::vector<uint16_t> parseWords(std::initializer_list<uint16_t> words) {
    return words;
}

TEST(Dither, FourByFourGrey) {
    struct Case {
        DitherMode mode;
        int32_t compensation;
        std::vector<uint16_t> words;
    };
    const Case cases[] = {
        {1, 0,
         parseWords({0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x6B2D, 0x6B2D, 0x632C, 0x632C, 0x6B2D,
                     0x632C, 0x6B2D, 0x632C, 0x6B2D, 0x632C, 0x6B2D})},
        {1, 1,
         parseWords({0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x6B4D, 0x6B4D, 0x630C, 0x630C, 0x6B4D,
                     0x630C, 0x6B4D, 0x630C, 0x6B4D, 0x630C, 0x6B4D})},
        {2, 0,
         parseWords({0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x632C, 0x6B2D,
                     0x6B2D, 0x632C, 0x632C, 0x632C, 0x6B2D, 0x632C})},
        {2, 1,
         parseWords({0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x630C, 0x6B4D,
                     0x6B4D, 0x630C, 0x630C, 0x630C, 0x6B4D, 0x630C})},
    };
    const Bytes grey = flatImage(4, 4, 0x646464);
    for (const Case& c : cases)
        EXPECT_EQ(pixelWords(grey, 4, 4, c.compensation, c.mode), c.words)
            << "mode " << c.mode << ", compensation " << c.compensation;
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
        for (DitherMode mode : {1, 2}) {
            EXPECT_EQ(pixelWords(image, 7, 5, 0, mode), std::vector<uint16_t>(35, c.off))
                << std::hex << c.rgb << " mode " << mode;
            EXPECT_EQ(pixelWords(image, 7, 5, 1, mode), std::vector<uint16_t>(35, c.on))
                << std::hex << c.rgb << " mode " << mode;
        }
    }
}

TEST(Dither, GreyImagesStayGreyUnderCompensation) {
    Bytes ramp;
    for (int i = 0; i < 9 * 6; ++i)
        ramp.insert(ramp.end(), 3, static_cast<uint8_t>(i * 37 % 256));
    for (DitherMode mode : {0, 1, 2}) {
        for (uint16_t word : pixelWords(ramp, 9, 6, 1, mode)) {
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
    for (DitherMode mode : {1, 2}) {
        const auto tallWords = pixelWords(tall, 6, 5, 1, mode);
        const auto rowWords = pixelWords(firstRow, 6, 1, 1, mode);
        ASSERT_EQ(tallWords.size(), 30u);
        EXPECT_EQ(std::vector<uint16_t>(tallWords.begin(), tallWords.begin() + 6), rowWords);
    }
}

TEST(Dither, CompensationComparesAgainstTheBlueWithItsReceivedError) {
    // Pixel 1's green (4) and blue (3) differ as input, but the blue has
    // received 257 more error than the green from pixel 0, so the two working
    // values are equal and the green takes 5 bits: the word is 0x0000, where
    // comparing the input values would give 0x0020.
    const Bytes image = rgbOf({0x00024C, 0x000403});
    EXPECT_EQ(pixelWords(image, 2, 1, 1, 1), parseWords({0x0009, 0x0000}));
    EXPECT_EQ(pixelWords(image, 2, 1, 0, 1), parseWords({0x0009, 0x0020}));
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

TEST(RgnFile, HeaderOf320By240) {
    TempDir dir;
    const Bytes image = flatImage(320, 240, 0x000000);
    ASSERT_EQ(convertImageToFile(dir.file("a.rgn").c_str(),
                                 RgbImage{320, 240, const_cast<uint8_t*>(image.data())}, 1, 1),
              0);
    const Bytes file = readFileBytes(dir.file("a.rgn"));
    ASSERT_EQ(file.size(), 48u + 153600u);
    EXPECT_EQ(hexOf(Bytes(file.begin(), file.begin() + 48)),
              "40 01 00 00 F0 00 00 00 00 58 02 00 20 00 70 01 20 00 00 00 40 00 00 00 "
              "00 00 00 00 10 00 00 00 00 F8 00 00 E0 07 00 00 1F 00 00 00 00 00 00 00 ");
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
        ASSERT_EQ(convertImageToFile(dir.file("o.rgn").c_str(), RgbImage{c.width, c.height, pixels},
                                     0, 0),
                  0)
            << c.what;
        EXPECT_EQ(hexOf(readFileBytes(dir.file("o.rgn"))), c.expected) << c.what;
    }
}

TEST(RgnFile, ExistingTargetIsReplaced) {
    TempDir dir;
    writeFileBytes(dir.file("o.rgn"), Bytes(5000, 0x11));
    const Bytes white = flatImage(1, 1, 0xFFFFFF);
    ASSERT_EQ(convertImageToFile(dir.file("o.rgn").c_str(),
                                 RgbImage{1, 1, const_cast<uint8_t*>(white.data())}, 0, 2),
              0);
    EXPECT_EQ(readFileBytes(dir.file("o.rgn")).size(), 50u);
}

TEST(RgnFile, TargetsThatCannotBeWrittenLeaveNothingBehind) {
    TempDir dir;
    mkdir(dir.file("folder").c_str(), 0755);
    const Bytes image = flatImage(3, 3, 0x336699);
    const RgbImage rgb{3, 3, const_cast<uint8_t*>(image.data())};
    int error = 0;
    EXPECT_EQ(convertImageToFile(dir.file("missing/o.rgn").c_str(), rgb, 1, 1, &error), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(fileExists(dir.file("missing")));
    EXPECT_EQ(convertImageToFile(dir.file("folder").c_str(), rgb, 1, 1, &error), -1);
    EXPECT_EQ(error, EISDIR);

    // A device that fills at once: the run fails and the device is not removed.
    EXPECT_EQ(convertImageToFile("/dev/full", rgb, 1, 1, &error), -1);
    EXPECT_EQ(error, ENOSPC);
    struct stat info {};
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST(RgnFile, DiskFillingDuringTheWriteRemovesThePartialFile) {
    TempDir dir;
    const std::string target = dir.file("big.rgn");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file may grow to 1000 bytes: the header fits, the pixels do not.
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        Bytes image = flatImage(100, 100, 0x808080);
        const int32_t result =
            convertImageToFile(target.c_str(), RgbImage{100, 100, image.data()}, 1, 1);
        _exit(result == -1 ? 0 : 1);
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
        EXPECT_EQ(convertImageToFile(dir.file("keep.rgn").c_str(), image, 1, 1), -1);
    EXPECT_EQ(readFileBytes(dir.file("keep.rgn")), Bytes(10, 0x22));
}

TEST(WriteInt32, LeastSignificantByteFirst) {
    FILE* stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(writeInt32(stream, 0x01700020), 0);
    EXPECT_EQ(writeInt32(stream, -2), 0);
    rewind(stream);
    uint8_t bytes[8] = {};
    ASSERT_EQ(fread(bytes, 1, 8, stream), 8u);
    EXPECT_EQ(Bytes(bytes, bytes + 8), (Bytes{0x20, 0x00, 0x70, 0x01, 0xFE, 0xFF, 0xFF, 0xFF}));
    fclose(stream);
}

} // namespace
