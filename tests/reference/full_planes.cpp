// The straightforward quantisation: both whole planes, the pass over them,
// then the packing of the words.
#include "tests/reference/reference.h"

#include <cstdlib>

namespace {

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
