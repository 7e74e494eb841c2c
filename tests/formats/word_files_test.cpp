#include "formats/word_files.h"
#include "test_support.h"

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

TEST(WordFiles, TheExtensionChoosesTheFormat) {
    const struct {
        const char* name;
        WordFormat format;
    } cases[] = {
        {"a.rgn", WordFormat::rgn},   {"a.MBR", WordFormat::rgn},     {"a", WordFormat::rgn},
        {"-", WordFormat::rgn},       {"a.png", WordFormat::rgn},     {".raw", WordFormat::rgn},
        {"a.raw", WordFormat::raw},   {"a.BIN", WordFormat::raw},     {"a.c", WordFormat::c},
        {"dir.c/a.H", WordFormat::c}, {"dir.raw/a", WordFormat::rgn}, {"x\\y.bin", WordFormat::raw},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wordFormatOfName(c.name), c.format) << c.name;
}

TEST(WordFiles, NamesAreCIdentifiers) {
    for (const char* good : {"a", "_a", "splash_320x240", "A9", "Int"})
        EXPECT_TRUE(isCIdentifier(good)) << good;
    for (const char* bad : {"", "9a", "a-b", "a b", "int", "class", "_Bool", "naïve"})
        EXPECT_FALSE(isCIdentifier(bad)) << bad;
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"out/splash.c", "splash"},
        {"C:\\fw\\logo-2.h", "logo_2"},
        {"photo.v2.c", "photo_v2"},
        {"1st.c", "image_1st"},
        {".c", "image__c"},
        {"int.h", "int_"},
        {"noextension", "noextension"},
        {"a b.c", "a_b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cIdentifierOfFile(c.path), c.name) << c.path;
        EXPECT_TRUE(isCIdentifier(cIdentifierOfFile(c.path))) << c.path;
    }
}

TEST(WordFiles, CTextLaysOutTwelveWordsALineInEitherOrder) {
    CTextDescription d{"logo", "logo.h", "lo*go?.png", "none", 13, 1, ByteOrder::big, true};
    uint8_t words[26];
    for (int i = 0; i < 13; ++i) {
        words[2 * i] = static_cast<uint8_t>(i);
        words[2 * i + 1] = 0xA0;
    }
    std::string text = cTextStart(d);
    appendCWords(&text, words, 5, 0, ByteOrder::big); // in two pieces, as a run puts them
    appendCWords(&text, words + 10, 8, 5, ByteOrder::big);
    text += cTextEnd(d);
    EXPECT_NE(text.find("/* logo.h: the pixels of lo_go_.png, 13 x 1,"), std::string::npos);
    EXPECT_NE(text.find("#ifndef LOGO_H\n#define LOGO_H\n"), std::string::npos);
    EXPECT_NE(text.find("#define LOGO_WIDTH 13\n#define LOGO_HEIGHT 1\n"), std::string::npos);
    EXPECT_NE(text.find("static const uint16_t logo[LOGO_WIDTH * LOGO_HEIGHT] = {\n"
                        "    0x00A0, 0x01A0, 0x02A0, 0x03A0, 0x04A0, 0x05A0, 0x06A0, 0x07A0, "
                        "0x08A0, 0x09A0, 0x0AA0, 0x0BA0,\n    0x0CA0,\n};\n\n#endif\n"),
              std::string::npos)
        << text;

    d.header = false;
    d.order = ByteOrder::little;
    text = cTextStart(d);
    appendCWords(&text, words, 12, 0, ByteOrder::little);
    d.width = 12;
    text += cTextEnd(d);
    EXPECT_NE(text.find("extern const uint16_t logo[LOGO_WIDTH * LOGO_HEIGHT];\n"
                        "const uint16_t logo[LOGO_WIDTH * LOGO_HEIGHT] = {\n    0xA000, 0xA001,"),
              std::string::npos);
    EXPECT_NE(text.find("0xA00B,\n};\n"), std::string::npos);
    EXPECT_EQ(text.find("#ifndef"), std::string::npos);
}

// A run writes a wide picture in several pieces on two threads; the page
// builds the file in memory at once. Both must give the same bytes.
TEST(WordFiles, ARunWritesWhatTheWholeFileHolds) {
    const int32_t width = 4096;
    const int32_t height = 130; // five pieces
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = static_cast<uint8_t>((i * 7919) >> 5);
    const RgbImage image{width, height, rgb.data()};
    Quantisation quantisation;
    int32_t bytes = 0;
    uint8_t* words = quantiseImage(image, quantisation, &bytes);
    ASSERT_NE(words, nullptr);
    CTextDescription text{"wide", "wide.h", "wide.png", "test", 0, 0, ByteOrder::little, true};
    const WordFileChoice choices[] = {{WordFormat::rgn, ByteOrder::little, {}},
                                      {WordFormat::raw, ByteOrder::little, {}},
                                      {WordFormat::raw, ByteOrder::big, {}},
                                      {WordFormat::c, ByteOrder::big, text}};
    TempDir dir;
    for (const WordFileChoice& choice : choices) {
        WordFileWriter writer{choice, 0, {}};
        ASSERT_TRUE(succeeded(convertImageToFile(dir.file("out").c_str(), image, quantisation,
                                                 wordFileWrapping(&writer))));
        const std::string whole = wordFileBytes(choice, width, height, words);
        EXPECT_EQ(readFileBytes(dir.file("out")), Bytes(whole.begin(), whole.end()))
            << static_cast<int>(choice.format) << " " << static_cast<int>(choice.order);
    }
    WordFileWriter writer{choices[3], 0, {}};
    EXPECT_EQ(convertImageToFile(dir.file("empty.h").c_str(), RgbImage{0, 3, rgb.data()},
                                 quantisation, wordFileWrapping(&writer))
                  .systemError,
              EINVAL);
    EXPECT_FALSE(fileExists(dir.file("empty.h")));
    EXPECT_EQ(wordFileBytes(choices[3], 0, 3, words), "");
    free(words);
}
