#include "convert/quantise.h"

#include <climits>
#include <cstdlib>

namespace {

// The full-plane passes' planes, 3 x width + 6 columns by height + 2 rows,
// counted in 32 bits. Of a picture whose words fit, only the width can fail.
bool planeShapeFits(int32_t width, int32_t height) {
    return width <= (INT32_MAX - 6) / 3 && height <= INT32_MAX - 2;
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

uint8_t* allocWordsFor(const RgbImage& image, int32_t* byteCount) {
    if (image.width < 0 || image.height < 0 || !rgnWordsFit(image))
        return nullptr;
    const auto bytes = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 2;
    auto* words = static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : bytes));
    if (words != nullptr)
        *byteCount = static_cast<int32_t>(bytes);
    return words;
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
