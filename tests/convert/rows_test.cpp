// The row-wise conversion against the straightforward one on full planes:
// every mode (the dialog's and the command line's own: ordered, serpentine),
// compensation on and off, on pictures chosen to reach the
// corners of the passes (clamping, green equal to red or to the unclamped
// blue, the edges, one-pixel rows and columns), and the streamed file
// against the words written whole.
#include "test_support.h"

#include "convert/convert.h"
#include "tests/reference/reference.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

namespace {

using Picture = std::vector<uint8_t>;

uint32_t nextRandom(uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

// Pixels whose channels are often equal or within a level of each other and
// often near the top, so that compensation and clamping are both exercised.
Picture nearGreyPicture(int32_t width, int32_t height, uint32_t seed) {
    Picture p(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < p.size(); i += 3) {
        const uint32_t base = 200 + nextRandom(seed) % 56;
        for (size_t c = 0; c < 3; ++c)
            p[i + c] = static_cast<uint8_t>(base - nextRandom(seed) % 3 * (nextRandom(seed) % 2));
    }
    return p;
}

Picture noisePicture(int32_t width, int32_t height, uint32_t seed) {
    Picture p(static_cast<size_t>(width) * height * 3);
    for (uint8_t& v : p)
        v = static_cast<uint8_t>(nextRandom(seed));
    return p;
}

Picture flatPicture(int32_t width, int32_t height, uint8_t level) {
    return Picture(static_cast<size_t>(width) * height * 3, level);
}

struct Words {
    bool ok = false;
    std::vector<uint8_t> bytes;
};

using Quantiser = uint8_t* (*)(const RgbImage&, const Quantisation&, int32_t*);

Words run(Quantiser quantiser, const Picture& p, int32_t width, int32_t height,
          const Quantisation& quantisation) {
    int32_t count = -1;
    uint8_t* words =
        quantiser(RgbImage{width, height, const_cast<uint8_t*>(p.data())}, quantisation, &count);
    Words out;
    if (words == nullptr)
        return out;
    out.ok = true;
    out.bytes.assign(words, words + count);
    free(words);
    return out;
}

// The row quantiser's words, count rows per call.
std::vector<uint8_t> inBatches(const Picture& p, int32_t width, int32_t height,
                               const Quantisation& quantisation, int32_t count) {
    std::vector<uint8_t> words(static_cast<size_t>(width) * height * 2);
    RowQuantiser* q =
        startRowQuantiser(RgbImage{width, height, const_cast<uint8_t*>(p.data())}, quantisation);
    if (q == nullptr)
        return {};
    for (int32_t y = 0; y < height; y += count)
        quantiseNextRows(q, count, words.data() + static_cast<size_t>(y) * width * 2);
    endRowQuantiser(q);
    return words;
}

TEST(RowWiseConversion, MatchesTheFullPlanesWordForWord) {
    struct Case {
        const char* name;
        int32_t width;
        int32_t height;
        Picture picture;
    };
    const Case cases[] = {
        {"one pixel", 1, 1, noisePicture(1, 1, 1)},
        {"one column", 1, 9, nearGreyPicture(1, 9, 2)},
        {"one row", 17, 1, nearGreyPicture(17, 1, 3)},
        {"two by two", 2, 2, noisePicture(2, 2, 4)},
        {"near grey", 23, 19, nearGreyPicture(23, 19, 5)},
        {"noise", 31, 7, noisePicture(31, 7, 6)},
        {"white", 5, 4, flatPicture(5, 4, 255)},
        {"grey 100", 4, 4, flatPicture(4, 4, 100)},
        {"near grey, wide", 130, 6, nearGreyPicture(130, 6, 7)},
        // Rows go through the error-diffusion passes two at a time: pairs
        // and a row left over, on the narrowest widths.
        {"1 x 2", 1, 2, nearGreyPicture(1, 2, 8)},
        {"2 x 2 near grey", 2, 2, nearGreyPicture(2, 2, 9)},
        {"3 x 2", 3, 2, noisePicture(3, 2, 10)},
        {"3 x 1", 3, 1, nearGreyPicture(3, 1, 11)},
        {"5 x 2", 5, 2, nearGreyPicture(5, 2, 12)},
        {"5 x 3", 5, 3, noisePicture(5, 3, 13)},
        {"7 x 2", 7, 2, nearGreyPicture(7, 2, 14)},
        {"7 x 5", 7, 5, nearGreyPicture(7, 5, 15)},
        {"2 x 5 white", 2, 5, flatPicture(2, 5, 255)},
        // Four at a time where the processor allows, each row three pixels
        // behind the one above: groups on pictures narrower than that lag
        // and wider, with rows left over, and white, which clamps everywhere.
        {"1 x 4", 1, 4, nearGreyPicture(1, 4, 16)},
        {"3 x 12 near grey", 3, 12, nearGreyPicture(3, 12, 17)},
        {"4 x 11 noise", 4, 11, noisePicture(4, 11, 18)},
        {"6 x 9 white", 6, 9, flatPicture(6, 9, 255)},
        {"9 x 8 near grey", 9, 8, nearGreyPicture(9, 8, 19)},
        {"13 x 4 noise", 13, 4, noisePicture(13, 4, 20)},
        {"41 x 10 near grey", 41, 10, nearGreyPicture(41, 10, 21)},
        // The plain and ordered passes take 64 pixels at a time where the
        // processor allows, and the rest one by one.
        {"131 x 3 noise", 131, 3, noisePicture(131, 3, 22)},
        {"64 x 4 white", 64, 4, flatPicture(64, 4, 255)},
        // Serpentine Atkinson-Boyle finishes its rows 8 pixels at a time:
        // one whole step, and the narrowest row whose first step's bytes are
        // read in one 32-byte load.
        {"8 x 3 noise", 8, 3, noisePicture(8, 3, 23)},
        {"11 x 5 near grey", 11, 5, nearGreyPicture(11, 5, 24)},
    };
    std::vector<Quantisation> choices;
    for (DitherMethod method : {DitherMethod::none, DitherMethod::floydSteinberg,
                                DitherMethod::atkinsonBoyle, DitherMethod::ordered})
        for (bool serpentine : {false, true})
            for (bool compensation : {false, true})
                choices.push_back(Quantisation{method, serpentine, compensation});
    for (const Case& c : cases) {
        for (const Quantisation& q : choices) {
            const Words rows = run(quantiseImage, c.picture, c.width, c.height, q);
            const Words planes = run(quantiseImageFullPlanes, c.picture, c.width, c.height, q);
            ASSERT_TRUE(rows.ok && planes.ok) << c.name;
            EXPECT_EQ(rows.bytes, planes.bytes)
                << c.name << ", method " << static_cast<int>(q.method) << ", serpentine "
                << q.serpentine << ", compensation " << q.greenCompensation;
            // Batches of one row take only the single-row passes; batches of
            // three mix pairs with single rows at every other start, and of
            // five, fours with single rows.
            for (int32_t batch : {1, 3, 5})
                EXPECT_EQ(inBatches(c.picture, c.width, c.height, q, batch), planes.bytes)
                    << c.name << ", batches of " << batch << ", method "
                    << static_cast<int>(q.method) << ", serpentine " << q.serpentine
                    << ", compensation " << q.greenCompensation;
        }
    }
}

TEST(RowWiseConversion, EmptyAndRefusedImagesAgree) {
    uint8_t pixel[3] = {1, 2, 3};
    // 715 827 881 x 1 fits the size word, but not the planes' 32-bit width.
    const RgbImage cases[] = {{0, 0, pixel},        {0, 5, pixel},  {5, 0, pixel},
                              {3, 3, nullptr},      {-1, 2, pixel}, {40000, 40000, pixel},
                              {715827881, 1, pixel}};
    for (const RgbImage& image : cases) {
        int32_t rowBytes = -1;
        int32_t planeBytes = -1;
        uint8_t* rows = quantiseImage(image, Quantisation{}, &rowBytes);
        uint8_t* planes = quantiseImageFullPlanes(image, Quantisation{}, &planeBytes);
        EXPECT_EQ(rows == nullptr, planes == nullptr) << image.width << " x " << image.height;
        EXPECT_EQ(rowBytes, planeBytes);
        free(rows);
        free(planes);
    }
}

// The file is written a few hundred rows' worth at a time, made on a second
// thread when there are enough of them; a picture of five such pieces, more
// than are in hand at once, must come out as the words written whole.
TEST(RowWiseConversion, StreamedFileEqualsTheWholeWords) {
    TempDir dir;
    const int32_t width = 2000;
    const int32_t height = 300;
    const Picture picture = noisePicture(width, height, 11);
    const RgbImage image{width, height, const_cast<uint8_t*>(picture.data())};
    const Quantisation choices[] = {
        {DitherMethod::none, false, true},           {DitherMethod::ordered, false, true},
        {DitherMethod::floydSteinberg, false, true}, {DitherMethod::atkinsonBoyle, false, true},
        {DitherMethod::floydSteinberg, true, true},  {DitherMethod::atkinsonBoyle, true, true}};
    for (const Quantisation& q : choices) {
        // Pieces of an odd number of rows start on odd rows too.
        ASSERT_TRUE(succeeded(convertImageToFile(dir.file("streamed.rgn").c_str(), image, q)));
        int32_t bytes = 0;
        uint8_t* words = quantiseImageFullPlanes(image, q, &bytes);
        ASSERT_NE(words, nullptr);
        Bytes whole(rgnHeaderBytes);
        encodeRgnHeader(width, height, whole.data());
        whole.insert(whole.end(), words, words + bytes);
        free(words);
        EXPECT_EQ(readFileBytes(dir.file("streamed.rgn")), whole)
            << ditherMethodName(q.method) << (q.serpentine ? " serpentine" : "");
    }
}

} // namespace
