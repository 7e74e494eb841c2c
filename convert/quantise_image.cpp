#include "convert/quantise.h"

#include <climits>
#include <cstdlib>

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
             const Quantisation& quantisation) {
    const int32_t compensation = quantisation.greenCompensation ? 1 : 0;
    switch (quantisation.method) {
    case DitherMethod::floydSteinberg:
        if (quantisation.serpentine)
            ditherFloydSteinbergSerpentine(P, Q, width, height, compensation);
        else
            ditherFloydSteinberg(P, Q, width, height, compensation);
        break;
    case DitherMethod::atkinsonBoyle:
        if (quantisation.serpentine)
            ditherAtkinsonBoyleSerpentine(P, Q, width, height, compensation);
        else
            ditherAtkinsonBoyle(P, Q, width, height, compensation);
        break;
    case DitherMethod::ordered:
        ditherOrdered(P, Q, width, height, compensation);
        break;
    default:
        quantisePlain(P, Q, width, height, compensation);
        break;
    }
}

} // namespace

RgbImage imageOrEmpty(const RgbImage& image) {
    return image.pixels != nullptr ? image : RgbImage{0, 0, nullptr};
}

bool rgnWordsFit(const RgbImage& image) {
    const int64_t bytes = static_cast<int64_t>(image.width) * image.height * 2;
    return bytes <= INT32_MAX && (bytes == 0 || planeShapeFits(image.width, image.height));
}

Quantisation dialogQuantisation(int32_t greenCompensation, DitherMode mode) {
    Quantisation q;
    q.greenCompensation = greenCompensation != 0;
    q.method = mode == ditherFloydSteinbergMode  ? DitherMethod::floydSteinberg
               : mode == ditherAtkinsonBoyleMode ? DitherMethod::atkinsonBoyle
                                                 : DitherMethod::none;
    return q;
}

const char* ditherMethodName(DitherMethod method) {
    switch (method) {
    case DitherMethod::floydSteinberg:
        return "floyd-steinberg";
    case DitherMethod::atkinsonBoyle:
        return "atkinson-boyle";
    case DitherMethod::ordered:
        return "ordered";
    default:
        return "none";
    }
}

namespace {

// The pixel-word block for an image, allocated but not filled: null when
// the image is invalid (negative sizes, too large) or the memory cannot be
// had.
uint8_t* allocWordsFor(const RgbImage& image, int32_t* byteCount) {
    if (image.width < 0 || image.height < 0 || !rgnWordsFit(image))
        return nullptr;
    const auto bytes = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 2;
    auto* words = static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : bytes));
    if (words != nullptr)
        *byteCount = static_cast<int32_t>(bytes);
    return words;
}

} // namespace

uint8_t* quantiseImage(const RgbImage& source, int32_t greenCompensation, DitherMode mode,
                       int32_t* byteCount) {
    return quantiseImage(source, dialogQuantisation(greenCompensation, mode), byteCount);
}

uint8_t* quantiseImage(const RgbImage& source, const Quantisation& quantisation,
                       int32_t* byteCount) {
    const RgbImage image = imageOrEmpty(source);
    int32_t bytes = 0;
    uint8_t* words = allocWordsFor(image, &bytes);
    if (words == nullptr)
        return nullptr;
    if (bytes > 0 && !quantiseRows(image, quantisation, words)) {
        free(words);
        return nullptr;
    }
    *byteCount = bytes;
    return words;
}

uint8_t* quantiseImageFullPlanes(const RgbImage& source, int32_t greenCompensation, DitherMode mode,
                                 int32_t* byteCount) {
    return quantiseImageFullPlanes(source, dialogQuantisation(greenCompensation, mode), byteCount);
}

uint8_t* quantiseImageFullPlanes(const RgbImage& source, const Quantisation& quantisation,
                                 int32_t* byteCount) {
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
    runPass(P, Q, image.width, image.height, quantisation);
    packPixelWords(Q, image.width, image.height, words);
    freePlane(P, rows);
    freePlane(Q, rows);
    return words;
}
