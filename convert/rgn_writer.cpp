#include "convert/convert.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace {

// Sizes a run needs, checked so that no multiplication overflows.
bool planeShapeFits(int32_t width, int32_t height) {
    return width <= (INT32_MAX - 6) / 3 && height <= INT32_MAX - 2;
}

void fillWorkingPlane(ChannelPlane P, const RgbImage& image) {
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* in = image.pixels + static_cast<size_t>(y) * rowBytes;
        int32_t* out = P[y];
        for (size_t j = 0; j < rowBytes; ++j)
            out[j] = in[j] * 257;
    }
}

void packPixelWords(ChannelPlane Q, int32_t width, int32_t height, uint8_t* out) {
    for (int32_t y = 0; y < height; ++y) {
        const int32_t* q = Q[y];
        for (int32_t x = 0; x < width; ++x, q += 3) {
            const auto word = static_cast<uint16_t>(q[0] + (q[1] >> 5) + (q[2] >> 11));
            *out++ = static_cast<uint8_t>(word & 0xFF);
            *out++ = static_cast<uint8_t>(word >> 8);
        }
    }
}

void runPass(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
             int32_t greenCompensation, DitherMode mode) {
    if (mode == ditherFloydSteinbergMode)
        ditherFloydSteinberg(P, Q, width, height, greenCompensation);
    else if (mode == ditherAtkinsonBoyleMode)
        ditherAtkinsonBoyle(P, Q, width, height, greenCompensation);
    else
        quantisePlain(P, Q, width, height, greenCompensation);
}

bool isRegularFile(FILE* stream) {
    struct stat info {};
    return fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode);
}

int32_t fail(int* systemError, int code) {
    if (systemError != nullptr)
        *systemError = code;
    return -1;
}

} // namespace

int32_t writeInt32(FILE* stream, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    return fwrite(bytes, 1, 4, stream) == 4 ? 0 : -1;
}

void rgnHeaderWords(int32_t width, int32_t height, int32_t words[12]) {
    const int32_t fixed[9] = {0x01700020, 32, 64, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
    words[0] = width;
    words[1] = height;
    words[2] =
        static_cast<int32_t>(static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 2u);
    for (int i = 0; i < 9; ++i)
        words[3 + i] = fixed[i];
}

namespace {

// The pixel-word block for an image, allocated but not filled: null when
// the image is invalid (negative sizes, a pixel block too large to describe
// or to lay out as planes) or the memory cannot be had. An image with a null
// pixel block counts as 0 x 0.
uint8_t* allocWordsFor(const RgbImage& image, int32_t* byteCount) {
    if (image.width < 0 || image.height < 0)
        return nullptr;
    const int64_t bytes = static_cast<int64_t>(image.width) * image.height * 2;
    if (bytes > INT32_MAX || (bytes > 0 && !planeShapeFits(image.width, image.height)))
        return nullptr;
    auto* words = static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : static_cast<size_t>(bytes)));
    if (words != nullptr)
        *byteCount = static_cast<int32_t>(bytes);
    return words;
}

RgbImage imageOrEmpty(const RgbImage& image) {
    return image.pixels != nullptr ? image : RgbImage{0, 0, nullptr};
}

} // namespace

uint8_t* quantiseImage(const RgbImage& source, int32_t greenCompensation, DitherMode mode,
                       int32_t* byteCount) {
    const RgbImage image = imageOrEmpty(source);
    int32_t bytes = 0;
    uint8_t* words = allocWordsFor(image, &bytes);
    if (words == nullptr)
        return nullptr;
    if (bytes > 0 && !quantiseRows(image, greenCompensation, mode, words)) {
        free(words);
        return nullptr;
    }
    *byteCount = bytes;
    return words;
}

uint8_t* quantiseImageFullPlanes(const RgbImage& source, int32_t greenCompensation,
                                 DitherMode mode, int32_t* byteCount) {
    const RgbImage image = imageOrEmpty(source);
    int32_t bytes = 0;
    uint8_t* words = allocWordsFor(image, &bytes);
    if (words == nullptr)
        return nullptr;
    *byteCount = bytes;
    if (bytes == 0)
        return words;
    const int32_t columns = 3 * image.width + 6;
    const int32_t rows = image.height + 2;
    ChannelPlane P = allocPlane(columns, rows);
    ChannelPlane Q = P != nullptr ? allocPlane(columns, rows) : nullptr;
    if (Q == nullptr) {
        freePlane(P, rows);
        free(words);
        return nullptr;
    }
    fillWorkingPlane(P, image);
    runPass(P, Q, image.width, image.height, greenCompensation, mode);
    packPixelWords(Q, image.width, image.height, words);
    freePlane(P, rows);
    freePlane(Q, rows);
    return words;
}

int32_t writeRgnFile(const char* targetPath, int32_t width, int32_t height,
                     const uint8_t* words, int* systemError) {
    int32_t header[12];
    rgnHeaderWords(width, height, header);
    const auto pixelBytes = static_cast<size_t>(static_cast<uint32_t>(header[2]));
    FILE* stream = fopen(targetPath, "wb");
    if (stream == nullptr)
        return fail(systemError, errno);
    const bool regular = isRegularFile(stream);
    bool written = true;
    for (int32_t word : header)
        written = written && writeInt32(stream, word) == 0;
    if (written && pixelBytes > 0)
        written = fwrite(words, 1, pixelBytes, stream) == pixelBytes;
    int code = written ? 0 : errno;
    if (fclose(stream) != 0 && written) {
        written = false;
        code = errno;
    }
    if (written)
        return 0;
    if (regular)
        remove(targetPath);
    return fail(systemError, code != 0 ? code : EIO);
}

int32_t convertImageToFile(const char* targetPath, const RgbImage& source,
                           int32_t greenCompensation, DitherMode mode, int* systemError) {
    int32_t pixelBytes = 0;
    uint8_t* words = quantiseImage(source, greenCompensation, mode, &pixelBytes);
    if (words == nullptr)
        return fail(systemError, source.width < 0 || source.height < 0 ? EINVAL : ENOMEM);
    const RgbImage image = imageOrEmpty(source);
    const int32_t result = writeRgnFile(targetPath, image.width, image.height, words, systemError);
    free(words);
    return result;
}
