// Reading RGN/MBR files back and the preview BMP made from their words.
#include "test_support.h"

#include "convert/convert.h"
#include "convert/rgn_file.h"
#include "formats/preview_bmp.h"
#include "image/image.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

Bytes rgnFile(int32_t width, int32_t height, const Bytes& pixels) {
    int32_t words[12];
    rgnHeaderWords(width, height, words);
    Bytes out;
    for (int32_t w : words)
        putU32(out, static_cast<uint32_t>(w));
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

void setWord(Bytes& file, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        file[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

struct Checked {
    Reason reason;
    std::string message;
};

Checked check(const Bytes& file) {
    TempDir dir;
    writeFileBytes(dir.file("f.rgn"), file);
    FILE* stream = fopen(dir.file("f.rgn").c_str(), "rb");
    RgnFileHeader header{};
    EXPECT_TRUE(succeeded(readRgnHeader(stream, &header)));
    fclose(stream);
    return {checkRgnHeader(header).reason, rgnHeaderProblem(header)};
}

TEST(RgnFormat, TheHeaderTableGivesTheDocumentedBytesNamesAndValues) {
    // A 320 x 240 picture, as the 48 bytes of its file.
    const Bytes expected = {0x40, 0x01, 0,    0,    0xF0, 0, 0, 0, 0x00, 0x58, 0x02, 0,
                            0x20, 0,    0x70, 0x01, 0x20, 0, 0, 0, 0x40, 0,    0,    0,
                            0,    0,    0,    0,    0x10, 0, 0, 0, 0,    0xF8, 0,    0,
                            0xE0, 7,    0,    0,    0x1F, 0, 0, 0, 0,    0,    0,    0};
    uint8_t header[rgnHeaderBytes];
    encodeRgnHeader(320, 240, header);
    EXPECT_EQ(Bytes(header, header + rgnHeaderBytes), expected);
    const struct {
        int32_t index;
        const char* name;
        const char* shown;
    } fields[] = {{0, "width", "320"},
                  {2, "pixel bytes", "153600"},
                  {3, "constant at 12", "0x01700020"},
                  {7, "bits per pixel", "16"},
                  {9, "green mask", "0x07E0"},
                  {11, "constant at 44", "0"}};
    int32_t words[rgnHeaderWordCount];
    rgnHeaderWords(320, 240, words);
    for (const auto& field : fields) {
        EXPECT_STREQ(rgnHeaderFieldName(field.index), field.name);
        EXPECT_EQ(rgnHeaderFields[field.index].offset, 4 * field.index);
        char text[16];
        formatRgnHeaderValue(field.index, words[field.index], text, sizeof text);
        EXPECT_STREQ(text, field.shown) << field.name;
    }
}

TEST(RgnFileCheck, NamesTheFirstInconsistency) {
    const Bytes good = rgnFile(3, 2, Bytes(12, 0xAB));
    struct Case {
        const char* name;
        Bytes file;
        const char* expected; // empty: consistent
    };
    auto with = [&](size_t offset, uint32_t value) {
        Bytes f = good;
        setWord(f, offset, value);
        return f;
    };
    Bytes longer = good;
    longer.push_back(0);
    Bytes shorter(good.begin(), good.end() - 1);
    Bytes sizeAndLength = with(8, 14);
    sizeAndLength.resize(48 + 14);
    const Case cases[] = {
        {"good", good, ""},
        {"empty image", rgnFile(0, 7, {}), ""},
        {"header cut short", Bytes(good.begin(), good.begin() + 47),
         "the file is 47 bytes long, shorter than the 48-byte header"},
        {"no pixels", Bytes(good.begin(), good.begin() + 48),
         "the file is 48 bytes long, but 48 + pixel bytes is 60"},
        {"one byte short", shorter, "the file is 59 bytes long, but 48 + pixel bytes is 60"},
        {"one byte more", longer, "the file is 61 bytes long, but 48 + pixel bytes is 60"},
        {"negative width", with(0, 0xFFFFFFFF), "the width -1 is negative"},
        {"negative height", with(4, 0x80000000), "the height -2147483648 is negative"},
        {"size word and length agree, but not with the picture", sizeAndLength,
         "pixel bytes is 14, but width x height x 2 is 12"},
        {"first constant", with(12, 0x01700021),
         "constant at 12 is 0x01700021, must be 0x01700020"},
        {"bits per pixel", with(28, 24), "bits per pixel is 24, must be 16"},
        {"red mask", with(32, 0x7C00), "red mask is 0x7C00, must be 0xF800"},
        {"green mask", with(36, 0x03E0), "green mask is 0x03E0, must be 0x07E0"},
        {"blue mask", with(40, 0x1F0000), "blue mask is 0x1F0000, must be 0x001F"},
        {"last constant", with(44, 1), "constant at 44 is 1, must be 0"},
    };
    for (const Case& c : cases) {
        const Checked result = check(c.file);
        EXPECT_EQ(result.reason, c.expected[0] == '\0' ? Reason::None : Reason::RgnInconsistent)
            << c.name;
        EXPECT_EQ(result.message, c.expected) << c.name;
    }
}

TEST(RgnFileCheck, FilesTheWriterMakesAreConsistentAndReadBack) {
    TempDir dir;
    const Bytes picture = rgbOf({0xFF0000, 0x00FF00, 0x0000FF, 0x646464, 0xFFFFFF, 0x000000});
    ASSERT_TRUE(succeeded(convertImageToFile(dir.file("o.rgn").c_str(),
                                             RgbImage{3, 2, const_cast<uint8_t*>(picture.data())},
                                             dialogQuantisation(0, 0))));
    FILE* stream = fopen(dir.file("o.rgn").c_str(), "rb");
    RgnFileHeader header{};
    ASSERT_TRUE(succeeded(readRgnHeader(stream, &header)));
    EXPECT_TRUE(succeeded(checkRgnHeader(header))) << rgnHeaderProblem(header);
    uint8_t* words = readRgnPixels(stream, header);
    fclose(stream);
    ASSERT_NE(words, nullptr);
    const Bytes expected = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x2C, 0x63, 0xFF, 0xFF, 0, 0};
    EXPECT_EQ(Bytes(words, words + 12), expected);
    free(words);
}

TEST(Preview, WidensEachFieldByRepeatingItsTopBits) {
    const uint32_t five[][2] = {{0, 0}, {1, 8}, {16, 132}, {30, 247}, {31, 255}};
    for (const auto& c : five)
        EXPECT_EQ(widenFiveBits(c[0]), c[1]) << c[0];
    const uint32_t six[][2] = {{0, 0}, {1, 4}, {32, 130}, {62, 251}, {63, 255}};
    for (const auto& c : six)
        EXPECT_EQ(widenSixBits(c[0]), c[1]) << c[0];
}

TEST(Preview, KnownWordsGiveAKnownBottomUpPaddedBmp) {
    TempDir dir;
    // Two rows of three: red, green, blue / grey 0x632C, white, black.
    const Bytes words = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x2C, 0x63, 0xFF, 0xFF, 0, 0};
    ASSERT_TRUE(succeeded(writePreviewFile(dir.file("p.bmp").c_str(), 3, 2, words.data())));
    const Bytes file = readFileBytes(dir.file("p.bmp"));
    ASSERT_EQ(file.size(), 54u + 2 * 12); // rows of 9 bytes padded to 12
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[28], 24); // bits per pixel
    EXPECT_EQ(file[10], 54); // pixel data offset
    // Bottom row first, blue-green-red: grey (99, 101, 99) from 0x632C, white, black.
    const Bytes bottom = {0x63, 0x65, 0x63, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
    const Bytes top = {0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 66), bottom);
    EXPECT_EQ(Bytes(file.begin() + 66, file.end()), top);

    // The project's own loader reads it back with the top row first.
    const LoadResult loaded = loadBytes(file);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.pixels, rgbOf({0xFF0000, 0x00FF00, 0x0000FF, 0x636563, 0xFFFFFF, 0}));
}

TEST(Preview, EmptyPictureAndUnwritableTarget) {
    TempDir dir;
    ASSERT_TRUE(succeeded(writePreviewFile(dir.file("empty.bmp").c_str(), 0, 4, nullptr)));
    EXPECT_EQ(readFileBytes(dir.file("empty.bmp")).size(), 54u);
    const Bytes words(2, 0);
    const struct {
        std::string path;
        int32_t side;
        int error;
    } failures[] = {
        {dir.file("no/such/p.bmp"), 1, ENOENT},
        {"/dev/full", 1, ENOSPC},
        {dir.file("big.bmp"), 70000, EFBIG}, // refused before any row is read
    };
    for (const auto& c : failures) {
        const Status status = writePreviewFile(c.path.c_str(), c.side, c.side, words.data());
        EXPECT_EQ(status.systemError, c.error) << c.path;
    }
    EXPECT_FALSE(fileExists(dir.file("big.bmp")));
}

} // namespace
