#include "test_support.h"

#include "image/image.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

Bytes tinyBmp() {
    BmpBuild layout;
    layout.width = 2;
    layout.height = 1;
    layout.rows = {{0xABCDEF, 0x123456}};
    return buildBmp(layout);
}

Bytes tinyTga() {
    TgaBuild layout;
    layout.width = 1;
    layout.height = 1;
    layout.pixelData = {1, 2, 3};
    return buildTga(layout);
}

TEST(LoadImage, ShortAndForeignStreamsFailAtTheirEnd) {
    const std::pair<const char*, Bytes> cases[] = {
        {"empty", {}},
        {"one byte", {'B'}},
        {"BM and nothing valid", {'B', 'M', 1, 2, 3}},
        {"bm goes to the TGA decoder",
         [] {
             Bytes b = tinyBmp();
             b[0] = 'b', b[1] = 'm';
             return b;
         }()},
        {"MB goes to the TGA decoder",
         [] {
             Bytes b = tinyBmp();
             b[0] = 'M', b[1] = 'B';
             return b;
         }()},
    };
    for (const auto& [what, bytes] : cases) {
        for (size_t prefix : {size_t{0}, size_t{5}}) {
            const LoadResult r = loadBytes(bytes, prefix);
            EXPECT_FALSE(r.ok) << what;
            EXPECT_EQ(r.endPosition, r.streamLength) << what;
            EXPECT_EQ(r.width, -7) << what;
            EXPECT_EQ(r.height, -9) << what;
        }
    }
}

TEST(LoadImage, OffsetsCountFromTheEntryPosition) {
    const Bytes bmp = tinyBmp();
    const Bytes tga = tinyTga();
    for (size_t prefix : {size_t{0}, size_t{1}, size_t{333}}) {
        LoadResult r = loadBytes(bmp, prefix, Bytes(9, 0));
        ASSERT_TRUE(r.ok) << prefix;
        EXPECT_EQ(r.pixels, rgbOf({0xABCDEF, 0x123456}));
        EXPECT_EQ(r.endPosition, static_cast<long>(prefix + bmp.size())); // just after the rows
        r = loadBytes(tga, prefix);
        ASSERT_TRUE(r.ok) << prefix;
        EXPECT_EQ(r.pixels, rgbOf({0x030201}));
    }
}

TEST(LoadImage, FailureKeepsTheCallersSizes) {
    int32_t width = 320, height = 240;
    FILE* stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    fwrite("BMxx", 1, 4, stream);
    rewind(stream);
    EXPECT_EQ(loadImage(stream, &width, &height), nullptr);
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    fclose(stream);
}

TEST(LoadImage, StreamsBeyondThirtyTwoBitPositionsAreRefused) {
    FILE* stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    const Bytes bmp = tinyBmp();
    fwrite(bmp.data(), 1, bmp.size(), stream);
    fflush(stream);
    if (ftruncate(fileno(stream), 0x80000010LL) != 0) { // sparse: costs no disk space
        fclose(stream);
        GTEST_SKIP() << "this file system cannot hold a 2 GiB sparse file";
    }
    rewind(stream);
    EXPECT_EQ(fileLength(stream), -1);
    int32_t width = 1, height = 1;
    EXPECT_EQ(loadImage(stream, &width, &height), nullptr);
    EXPECT_EQ(width, 1);
    fclose(stream);
}

TEST(LoadImage, FileLengthLeavesThePositionAlone) {
    FILE* stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    fwrite("0123456789", 1, 10, stream);
    fseek(stream, 4, SEEK_SET);
    EXPECT_EQ(fileLength(stream), 10);
    EXPECT_EQ(ftell(stream), 4);
    fclose(stream);
}

} // namespace
