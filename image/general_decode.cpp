// PNG, JPEG and GIF through stb_image, built with those three formats only
// and its own limits. 16-bit samples are reduced to 8 bits here, by
// rounding, rather than by stb's truncation.
#include "image/picture.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

constexpr int rgba = 4;

bool startsWith(const uint8_t* data, size_t size, const char* prefix, size_t length) {
    return size >= length && memcmp(data, prefix, length) == 0;
}

uint8_t reduceSample(uint16_t v) {
    return static_cast<uint8_t>((uint32_t{v} * 255 + 32767) / 65535);
}

// Reduces the 16-bit samples to 8 bits in place; the block keeps its size.
void reduceSixteenBits(uint16_t* samples, size_t count) {
    auto* bytes = reinterpret_cast<uint8_t*>(samples);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = reduceSample(samples[i]);
}

} // namespace

bool isGeneralFormat(const uint8_t* data, size_t size) {
    return startsWith(data, size, "\x89PNG\r\n\x1a\n", 8) || startsWith(data, size, "\xFF\xD8\xFF", 3) ||
           startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6);
}

LoadReason decodeGeneral(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out) {
    if (size > INT_MAX)
        return LoadReason::TooManyPixels;
    const int length = static_cast<int>(size);
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels))
        return LoadReason::DamagedPicture;
    if (width <= 0 || height <= 0)
        return LoadReason::DamagedPicture;
    if (int64_t{width} * height > maxPixels)
        return LoadReason::TooManyPixels;

    uint8_t* pixels = nullptr;
    if (stbi_is_16_bit_from_memory(data, length)) {
        stbi_us* wide = stbi_load_16_from_memory(data, length, &width, &height, &channels, rgba);
        if (wide != nullptr)
            reduceSixteenBits(wide, static_cast<size_t>(width) * static_cast<size_t>(height) * rgba);
        pixels = reinterpret_cast<uint8_t*>(wide);
    } else {
        pixels = stbi_load_from_memory(data, length, &width, &height, &channels, rgba);
    }
    if (pixels == nullptr)
        return LoadReason::DamagedPicture;
    *out = RgbaPicture{width, height, pixels};
    return LoadReason::None;
}
