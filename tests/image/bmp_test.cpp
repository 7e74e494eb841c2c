#include "test_support.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

// A 5 x 3 picture (odd width, so every depth pads its rows) as palette
// indices; the colour table maps index i to a distinct colour.
const std::vector<std::vector<uint32_t>> indexRowsTopFirst = {
    {0, 1, 2, 3, 0},
    {1, 1, 0, 2, 3},
    {3, 2, 1, 0, 1},
};
const std::vector<uint32_t> fourColours = {0x102030, 0xFF0000, 0x00FF80, 0x0000FF};

std::vector<uint32_t> paletteOf(int bits) {
    std::vector<uint32_t> palette(size_t{1} << bits);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = i < fourColours.size() ? fourColours[i] : static_cast<uint32_t>(0x010101 * i);
    return palette;
}

// Builds the same 5 x 3 picture at the given depth, stored bottom-up or
// top-down, together with the block it must decode to.
struct Picture {
    BmpBuild layout;
    Bytes expected;
};

Picture picture(uint16_t bits, bool topDown, uint32_t compression = 0) {
    Picture p;
    p.layout.width = 5;
    p.layout.height = topDown ? -3 : 3;
    p.layout.bitsPerPixel = bits;
    p.layout.compression = compression;
    if (bits <= 8)
        p.layout.palette = paletteOf(bits);
    std::vector<uint32_t> expectedPixels;
    for (const auto& row : indexRowsTopFirst) {
        std::vector<uint32_t> stored;
        for (uint32_t listed : row) {
            const uint32_t index = bits == 1 ? listed % 2 : listed;
            const uint32_t rgb = fourColours[index];
            const uint32_t r = rgb >> 16, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
            switch (bits) {
            case 16: // 5-5-5, low three bits lost
                stored.push_back(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
                expectedPixels.push_back(((r & 0xF8) << 16) | ((g & 0xF8) << 8) | (b & 0xF8));
                break;
            case 24:
                stored.push_back(rgb);
                expectedPixels.push_back(rgb);
                break;
            case 32: // compression 0: B G R x; compression 3: x B G R
                stored.push_back(compression == 3 ? (b << 8) | (g << 16) | (r << 24) | 0x77
                                                  : b | (g << 8) | (r << 16) | 0x77000000u);
                expectedPixels.push_back(rgb);
                break;
            default:
                stored.push_back(index);
                expectedPixels.push_back(rgb);
            }
        }
        p.layout.rows.push_back(stored);
    }
    if (!topDown)
        std::reverse(p.layout.rows.begin(), p.layout.rows.end());
    p.expected = rgbOf(expectedPixels);
    return p;
}

struct DepthCase {
    uint16_t bits;
    uint32_t compression;
};

class BmpDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(BmpDepth, DecodesBothRowOrdersToTheSameTopFirstBlock) {
    for (bool topDown : {false, true}) {
        const Picture p = picture(GetParam().bits, topDown, GetParam().compression);
        const LoadResult r = loadBytes(buildBmp(p.layout));
        ASSERT_TRUE(r.ok) << "top-down " << topDown;
        EXPECT_EQ(r.width, 5);
        EXPECT_EQ(r.height, 3);
        EXPECT_EQ(r.pixels, p.expected) << "top-down " << topDown;
    }
}

INSTANTIATE_TEST_SUITE_P(AllDepths, BmpDepth,
                         testing::Values(DepthCase{1, 0}, DepthCase{4, 0}, DepthCase{8, 0},
                                         DepthCase{16, 0}, DepthCase{24, 0}, DepthCase{32, 0},
                                         DepthCase{8, 3}, DepthCase{16, 3}, DepthCase{24, 3},
                                         DepthCase{32, 3}));

TEST(Bmp, OneBitPixelsAreTakenMostSignificantBitFirst) {
    BmpBuild layout;
    layout.width = 1;
    layout.height = 2;
    layout.bitsPerPixel = 1;
    layout.palette = {0x000000, 0xFFFFFF};
    layout.rows = {{1}, {0}}; // bottom row first: the picture's bottom pixel is white
    const LoadResult r = loadBytes(buildBmp(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0x000000, 0xFFFFFF}));
}

TEST(Bmp, SixteenBitValuesIgnoreTheTopBit) {
    BmpBuild layout;
    layout.width = 4;
    layout.height = 1;
    layout.bitsPerPixel = 16;
    layout.rows = {{0x7FFF, 0x8000, 0x7C00, 0x001F}};
    const LoadResult r = loadBytes(buildBmp(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0xF8F8F8, 0x000000, 0xF80000, 0x0000F8}));
}

TEST(Bmp, ThirtyTwoBitByteOrderDependsOnCompression) {
    for (uint32_t compression : {0u, 3u}) {
        BmpBuild layout;
        layout.width = 1;
        layout.height = 1;
        layout.bitsPerPixel = 32;
        layout.compression = compression;
        layout.rows = {{0x40302010}}; // bytes 10 20 30 40
        const LoadResult r = loadBytes(buildBmp(layout));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.pixels, rgbOf({compression == 0 ? 0x302010u : 0x403020u}));
    }
}

TEST(Bmp, ColourTableIsAlwaysFullSizeWhateverColoursUsedSays) {
    BmpBuild layout;
    layout.width = 2;
    layout.height = 1;
    layout.bitsPerPixel = 8;
    layout.coloursUsed = 16;
    layout.palette = paletteOf(8);
    layout.rows = {{3, 200}};
    LoadResult r = loadBytes(buildBmp(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0x0000FF, 0xC8C8C8}));

    // Only 16 entries stored and the pixel data right after them: the table
    // read takes 1024 bytes and runs off the end of this short file.
    layout.palette.resize(16);
    r = loadBytes(buildBmp(layout));
    EXPECT_FALSE(r.ok);
}

TEST(Bmp, LaterHeaderVersionsPlaceTheColourTableAfterTheirFullSize) {
    BmpBuild layout;
    layout.width = 3;
    layout.height = 1;
    layout.bitsPerPixel = 4;
    layout.infoSize = 124;
    layout.gap = 37; // pixel data offset beyond the table: bytes in between are skipped
    layout.palette = paletteOf(4);
    layout.rows = {{2, 1, 0}};
    const LoadResult r = loadBytes(buildBmp(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0x00FF80, 0xFF0000, 0x102030}));
}

TEST(Bmp, RowPaddingPerDepthAndWidth) {
    // Two rows with opposite patterns: a wrong row length shifts the second.
    // Widths past 9 take 24-bit rows through several groups of five pixels.
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        for (int32_t width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 33}) {
            BmpBuild layout;
            layout.width = width;
            layout.height = -2;
            layout.bitsPerPixel = bits;
            if (bits <= 8)
                layout.palette = paletteOf(bits);
            auto stored = [bits](uint32_t index) -> uint32_t {
                if (bits <= 8)
                    return index;
                if (bits == 16)
                    return index == 0 ? 0x7C00 : 0x001F;
                return fourColours[index];
            };
            auto decoded = [bits](uint32_t index) -> uint32_t {
                if (bits == 16)
                    return index == 0 ? 0xF80000 : 0x0000F8;
                return fourColours[index];
            };
            std::vector<uint32_t> top, bottom, expected;
            for (int32_t x = 0; x < width; ++x)
                top.push_back(stored(static_cast<uint32_t>(x % 2)));
            for (int32_t x = 0; x < width; ++x)
                bottom.push_back(stored(static_cast<uint32_t>(1 - x % 2)));
            for (int32_t x = 0; x < width; ++x)
                expected.push_back(decoded(static_cast<uint32_t>(x % 2)));
            for (int32_t x = 0; x < width; ++x)
                expected.push_back(decoded(static_cast<uint32_t>(1 - x % 2)));
            layout.rows = {top, bottom};
            const LoadResult r = loadBytes(buildBmp(layout));
            ASSERT_TRUE(r.ok) << bits << " bits, width " << width;
            EXPECT_EQ(r.pixels, rgbOf(expected)) << bits << " bits, width " << width;
        }
    }
}

TEST(Bmp, TruncationInsideLastRowPaddingLoadsOnlyForSixteenAndTwentyFourBits) {
    struct Case {
        uint16_t bits;
        int32_t width;
        size_t cut;
        bool loads;
    };
    const Case cases[] = {
        {24, 1, 1, true}, {24, 1, 2, false}, // 3 bytes of pixel + 1 padding
        {24, 2, 2, true}, {24, 2, 3, false}, // 6 + 2
        {16, 3, 2, true}, {16, 3, 3, false}, // 6 + 2 padding
        {8, 5, 1, false}, {8, 5, 3, false},  // 5 + 3 padding, all required
        {4, 3, 1, false}, {1, 1, 1, false},  {32, 1, 1, false},
    };
    for (const Case& c : cases) {
        BmpBuild layout;
        layout.width = c.width;
        layout.height = 2;
        layout.bitsPerPixel = c.bits;
        if (c.bits <= 8)
            layout.palette = paletteOf(c.bits);
        layout.rows.assign(2, std::vector<uint32_t>(static_cast<size_t>(c.width), 1));
        Bytes file = buildBmp(layout);
        file.resize(file.size() - c.cut);
        const LoadResult r = loadBytes(file);
        EXPECT_EQ(r.ok, c.loads) << c.bits << " bits, cut " << c.cut;
        if (!r.ok) {
            EXPECT_EQ(r.endPosition, r.streamLength);
        }
    }
}

TEST(Bmp, RefusedHeaders) {
    struct Case {
        const char* what;
        uint16_t bits;
        uint32_t compression;
        int32_t width;
        int32_t height;
    };
    const Case cases[] = {
        {"run-length 8-bit", 8, 1, 2, 2},
        {"run-length 4-bit", 4, 2, 2, 2},
        {"jpeg", 24, 4, 2, 2},
        {"2 bits per pixel", 2, 0, 2, 2},
        {"0 bits per pixel", 0, 0, 2, 2},
        {"30000 bits per pixel", 30000, 0, 2, 2},
        {"unsupported depth without rows", 2, 0, 5, 0},
        {"unsupported depth without columns", 12, 0, 0, 5},
        {"negative width", 24, 0, -1, 1},
        {"height -2^31", 24, 0, 1, INT32_MIN},
        {"size past 2^31", 24, 0, 46341, 15447}, // 3 x w x h = 2147486931
        {"huge claim in a small file", 24, 0, 30000, 30000},
        {"huge 1-bit claim", 1, 0, 60000, 60000},
    };
    for (const Case& c : cases) {
        BmpBuild layout;
        layout.width = c.width;
        layout.height = c.height;
        layout.bitsPerPixel = c.bits;
        layout.compression = c.compression;
        if (c.bits <= 8)
            layout.palette = std::vector<uint32_t>(size_t{1} << c.bits, 0x808080);
        layout.rows = {std::vector<uint32_t>(4, 1)};
        const LoadResult r = loadBytes(buildBmp(layout));
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_EQ(r.width, -7) << c.what;
        EXPECT_EQ(r.height, -9) << c.what;
        EXPECT_EQ(r.endPosition, r.streamLength) << c.what;
    }
}

TEST(Bmp, ImagesWithoutPixelsLoadWithoutReadingRows) {
    const std::pair<int32_t, int32_t> sizes[] = {
        {0, 3}, {3, 0}, {0, 0}, {0, INT32_MAX}, {0, -INT32_MAX}};
    for (uint16_t bits : {1, 8, 16, 24, 32}) {
        for (auto [w, h] : sizes) {
            BmpBuild layout;
            layout.width = w;
            layout.height = h;
            layout.bitsPerPixel = bits;
            if (bits <= 8)
                layout.palette = paletteOf(bits);
            Bytes file = buildBmp(layout);
            // No row is read, so a pixel-data offset past the end is no fault.
            for (uint32_t offset : {static_cast<uint32_t>(file.size()), 0x10000u, 0x7FFFFFF0u}) {
                for (int i = 0; i < 4; ++i)
                    file[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
                const LoadResult r = loadBytes(file);
                ASSERT_TRUE(r.ok) << bits << " bits " << w << " x " << h << " offset " << offset;
                EXPECT_EQ(r.width, w);
                EXPECT_EQ(r.height, h < 0 ? -h : h);
                EXPECT_TRUE(r.pixels.empty());
            }
        }
    }
}

TEST(Bmp, NegativeSeekTargetIsRefusedAndReadingGoesOnFromThere) {
    // A pixel-data offset that makes a negative 32-bit position: the seek is
    // refused and the rows are read straight after the information header.
    BmpBuild layout;
    layout.width = 2;
    layout.height = 1;
    layout.rows = {{0x112233, 0x445566}};
    Bytes file = buildBmp(layout);
    file[10] = 0x00, file[11] = 0x00, file[12] = 0x00, file[13] = 0x80;
    const LoadResult r = loadBytes(file);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0x112233, 0x445566}));

    // Offsets are added in 32 bits: from an image start of 7, the offset
    // 0xFFFFFFFF wraps to position 6, one byte before the image.
    file[10] = 0xFF, file[11] = 0xFF, file[12] = 0xFF, file[13] = 0xFF;
    const LoadResult wrapped = loadBytes(file, 7);
    ASSERT_TRUE(wrapped.ok);
    EXPECT_EQ(wrapped.pixels, rgbOf({0x4D425A, 0x000000})); // 5A 'B' 'M', then the size field
}

} // namespace
