#include "test_support.h"

#include "prepare/prepare.h"

#include <gtest/gtest.h>

namespace {

TgaBuild colourMapped(uint8_t type, Bytes pixelData) {
    TgaBuild layout;
    layout.imageType = type;
    layout.colourMapType = 1;
    layout.pixelDepth = 8;
    layout.colourMap = {0xFF0000, 0x00FF00, 0x0000FF};
    layout.pixelData = std::move(pixelData);
    return layout;
}

struct TypeCase {
    const char* what;
    TgaBuild layout;
    Bytes expected;
};

TEST(Tga, DecodesEveryImageType) {
    const uint16_t w = 3, h = 2;
    auto sized = [&](TgaBuild layout) {
        layout.width = w;
        layout.height = h;
        return layout;
    };
    TgaBuild trueColour;
    trueColour.imageType = 2;
    trueColour.pixelData = {0x10, 0x20, 0x30, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    TgaBuild grey;
    grey.imageType = 3;
    grey.pixelDepth = 8;
    grey.pixelData = {0x80, 0, 0xFF, 1, 2, 3};
    TgaBuild trueColourRle = trueColour;
    trueColourRle.imageType = 10;
    // run of 3 (row 0), then raw 2 + run 1 (row 1)
    trueColourRle.pixelData = {0x82, 0x10, 0x20, 0x30, 0x01, 1, 2, 3, 4, 5, 6, 0x80, 7, 8, 9};
    TgaBuild greyRle = grey;
    greyRle.imageType = 11;
    greyRle.pixelData = {0x02, 0x80, 0, 0xFF, 0x82, 9};

    const TypeCase cases[] = {
        {"type 1", sized(colourMapped(1, {0, 1, 2, 2, 1, 0})),
         rgbOf({0xFF0000, 0x00FF00, 0x0000FF, 0x0000FF, 0x00FF00, 0xFF0000})},
        {"type 9", sized(colourMapped(9, {0x00, 0, 0x81, 1, 0x82, 2})),
         rgbOf({0xFF0000, 0x00FF00, 0x00FF00, 0x0000FF, 0x0000FF, 0x0000FF})},
        {"type 2", sized(trueColour),
         rgbOf({0x302010, 0x030201, 0x060504, 0x090807, 0x0C0B0A, 0x0F0E0D})},
        {"type 10", sized(trueColourRle),
         rgbOf({0x302010, 0x302010, 0x302010, 0x030201, 0x060504, 0x090807})},
        {"type 3", sized(grey), rgbOf({0x808080, 0, 0xFFFFFF, 0x010101, 0x020202, 0x030303})},
        {"type 11", sized(greyRle), rgbOf({0x808080, 0, 0xFFFFFF, 0x090909, 0x090909, 0x090909})},
    };
    for (const TypeCase& c : cases) {
        const LoadResult r = loadBytes(buildTga(c.layout));
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(r.width, w) << c.what;
        EXPECT_EQ(r.height, h) << c.what;
        EXPECT_EQ(r.pixels, c.expected) << c.what;

        // The standard reader takes the same rows top first when the
        // descriptor says they are stored so.
        TgaBuild topDown = c.layout;
        topDown.descriptor = 0x20;
        ReadingChoices standard;
        standard.decoder = Decoder::Standard;
        const PictureLoad load = readPictureBytes(buildTga(topDown), standard);
        ASSERT_EQ(load.failure, Reason::None) << c.what;
        EXPECT_EQ(Bytes(load.image.pixels, load.image.pixels + c.expected.size()), c.expected)
            << c.what;
        free(load.image.pixels);
    }
}

TEST(Tga, RowsAreNeverFlippedWhateverTheDescriptorSays) {
    TgaBuild layout;
    layout.width = 1;
    layout.height = 2;
    layout.pixelData = {1, 2, 3, 4, 5, 6};
    Bytes first;
    for (uint8_t descriptor : {0x00, 0x20, 0x10, 0x30, 0x08}) {
        layout.descriptor = descriptor;
        const LoadResult r = loadBytes(buildTga(layout));
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.pixels, rgbOf({0x030201, 0x060504})) << int(descriptor);
    }
}

TEST(Tga, RunLengthPacketsAreClippedAtTheRowEnd) {
    struct Case {
        const char* what;
        uint16_t width, height;
        Bytes data;
        Bytes expected; // grey levels
    };
    const Case cases[] = {
        {"run of 5 in a row of 3", 3, 2, {0x84, 7, 0x82, 9}, {7, 7, 7, 9, 9, 9}},
        {"raw of 4 in a row of 3", 3, 2, {0x03, 1, 2, 3, 4, 0x82, 9}, {1, 2, 3, 9, 9, 9}},
        {"run of 128 in the last row", 2, 1, {0xFF, 5}, {5, 5}},
        {"raw of 128 in the last row",
         2,
         1,
         [] {
             Bytes d = {0x7F};
             for (int i = 0; i < 128; ++i)
                 d.push_back(static_cast<uint8_t>(i + 1));
             return d;
         }(),
         {1, 2}},
        {"run of 1 and raw of 1", 2, 1, {0x80, 4, 0x00, 6}, {4, 6}},
    };
    for (const Case& c : cases) {
        TgaBuild layout;
        layout.imageType = 11;
        layout.pixelDepth = 8;
        layout.width = c.width;
        layout.height = c.height;
        layout.pixelData = c.data;
        const LoadResult r = loadBytes(buildTga(layout));
        ASSERT_TRUE(r.ok) << c.what;
        Bytes expected;
        for (uint8_t g : c.expected)
            expected.insert(expected.end(), {g, g, g});
        EXPECT_EQ(r.pixels, expected) << c.what;
    }
}

TEST(Tga, ColourMapRules) {
    // The first entry index never shifts the lookup.
    TgaBuild layout = colourMapped(1, {0, 1});
    layout.width = 2;
    layout.height = 1;
    layout.colourMapFirst = 16;
    LoadResult r = loadBytes(buildTga(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0xFF0000, 0x00FF00}));

    // An index past the map's length is black.
    layout.pixelData = {2, 200};
    r = loadBytes(buildTga(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0x0000FF, 0x000000}));

    // A map of 300 entries: the first 256 are kept and the pixel data is
    // found after all 300.
    layout.colourMap.clear();
    for (uint32_t i = 0; i < 300; ++i)
        layout.colourMap.push_back(0x010000 * (i % 256) + 0x42);
    layout.pixelData = {255, 7};
    r = loadBytes(buildTga(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0xFF0042, 0x070042}));
}

TEST(Tga, TrueColourTakesThreeBytesPerPixelAndNoColourMap) {
    // Pixel depth 32 is still read 3 bytes a pixel.
    TgaBuild layout;
    layout.width = 2;
    layout.height = 1;
    layout.pixelDepth = 32;
    layout.pixelData = {1, 2, 3, 4, 5, 6};
    LoadResult r = loadBytes(buildTga(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0x030201, 0x060504}));

    // A colour map carried by a true-colour file is taken as pixel data.
    layout.colourMapType = 1;
    layout.colourMap = {0x030201};
    layout.pixelData = {4, 5, 6};
    r = loadBytes(buildTga(layout));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, rgbOf({0x030201, 0x060504}));
}

TEST(Tga, ImageIdIsSkipped) {
    for (uint8_t idLength : {1, 17, 255}) {
        TgaBuild layout = colourMapped(1, {2});
        layout.width = 1;
        layout.height = 1;
        layout.idLength = idLength;
        const LoadResult r = loadBytes(buildTga(layout));
        ASSERT_TRUE(r.ok) << int(idLength);
        EXPECT_EQ(r.pixels, rgbOf({0x0000FF}));
    }
}

TEST(Tga, FooterSignatureAloneDecides) {
    TgaBuild layout;
    layout.width = 1;
    layout.height = 1;
    layout.pixelData = {1, 2, 3};
    Bytes file = buildTga(layout);
    // Extension and developer offsets, the full stop and the NUL are not looked at.
    for (size_t i = file.size() - 26; i < file.size() - 18; ++i)
        file[i] = 0xAB;
    file[file.size() - 2] = '!';
    file[file.size() - 1] = 'x';
    EXPECT_TRUE(loadBytes(file).ok);
    file[file.size() - 10] = 'x'; // inside "TRUEVISION-XFILE"
    EXPECT_FALSE(loadBytes(file).ok);
}

TEST(Tga, Rejections) {
    auto basic = [] {
        TgaBuild layout;
        layout.width = 2;
        layout.height = 2;
        layout.pixelData = Bytes(12, 0x33);
        return layout;
    };
    std::vector<std::pair<const char*, Bytes>> cases;
    {
        TgaBuild s = basic();
        s.footer = false;
        cases.push_back({"no footer", buildTga(s)});
    }
    for (uint8_t type : {0, 4, 8, 32, 33, 255}) {
        TgaBuild s = basic();
        s.imageType = type;
        cases.push_back({"unsupported type", buildTga(s)});
    }
    for (uint8_t bits : {15, 16, 32}) {
        TgaBuild s = colourMapped(1, {0, 1, 2, 0});
        s.width = 2, s.height = 2, s.colourMapEntryBits = bits;
        cases.push_back({"colour-map entry size", buildTga(s)});
    }
    for (uint8_t type : {1, 9}) {
        TgaBuild s = colourMapped(type, {0, 0, 0, 0});
        s.width = 2, s.height = 2;
        s.colourMap.clear();
        cases.push_back({"empty colour map", buildTga(s)});
    }
    for (uint8_t type : {1, 2, 3}) {
        TgaBuild s = basic();
        s.imageType = type;
        s.width = 0;
        cases.push_back({"uncompressed without columns", buildTga(s)});
        s.width = 2, s.height = 0;
        cases.push_back({"uncompressed without rows", buildTga(s)});
    }
    {
        // The footer follows the pixel data, so a cut shows only where the
        // data that is still missing is longer than the footer.
        TgaBuild s = basic();
        s.width = 10, s.height = 10;
        s.pixelData.resize(11);
        cases.push_back({"pixel data cut short", buildTga(s)});
        s.height = 100;
        s.imageType = 10;
        s.pixelData = {0x83, 1, 2, 3, 0x00}; // second row's raw packet has no value
        cases.push_back({"packet cut short", buildTga(s)});
        s.pixelData = {0x83, 1, 2, 3};
        cases.push_back({"packet header missing", buildTga(s)});
    }
    {
        TgaBuild s = basic();
        s.width = 65535, s.height = 65535;
        cases.push_back({"65535 x 65535 raw", buildTga(s)});
        s.imageType = 10;
        cases.push_back({"65535 x 65535 run-length", buildTga(s)});
        s.imageType = 11, s.width = 40000, s.height = 40000; // 4.8e9 bytes of pixels
        cases.push_back({"40000 x 40000 grey run-length", buildTga(s)});
    }
    cases.push_back({"shorter than a footer", Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0}});
    {
        Bytes file = buildTga(basic());
        file[0] = 200; // an image ID longer than the rest of the file
        cases.push_back({"image ID cut short", file});
    }
    for (const auto& [what, file] : cases) {
        const LoadResult r = loadBytes(file);
        EXPECT_FALSE(r.ok) << what;
        EXPECT_EQ(r.width, -7) << what;
        EXPECT_EQ(r.height, -9) << what;
        EXPECT_EQ(r.endPosition, r.streamLength) << what;
    }
}

TEST(Tga, RunLengthImagesWithoutPixelsLoad) {
    for (uint8_t type : {9, 10, 11}) {
        for (auto [w, h] : {std::pair<uint16_t, uint16_t>{0, 5}, {5, 0}, {0, 65535}}) {
            TgaBuild layout = type == 9 ? colourMapped(9, {}) : TgaBuild{};
            layout.imageType = type;
            layout.width = w;
            layout.height = h;
            const LoadResult r = loadBytes(buildTga(layout));
            ASSERT_TRUE(r.ok) << int(type) << ": " << w << " x " << h;
            EXPECT_EQ(r.width, w);
            EXPECT_EQ(r.height, h);
            EXPECT_TRUE(r.pixels.empty());
        }
    }
}

} // namespace
