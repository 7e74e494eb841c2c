// Resizing before quantisation: sizes and framing in integers, resampling by
// stb_image_resize in linear light (sRGB decoded, filtered, encoded again),
// or by nearest neighbour for pixel art; an axis that keeps its size is not
// resampled. This file is built with SSE2 floating point on 32-bit x86 so
// that both builds round alike.
#include "prepare/steps.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#define STB_IMAGE_RESIZE_STATIC
// The static analysers look at this project's code, not at stb's.
#ifndef __clang_analyzer__
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#endif
#include <stb/stb_image_resize.h>

namespace {

int32_t scaled(int64_t value, int64_t numerator, int64_t denominator) {
    const int64_t result = (value * numerator + denominator / 2) / denominator;
    if (result < 1)
        return 1;
    return result > INT32_MAX ? INT32_MAX : static_cast<int32_t>(result);
}

stbir_filter stbFilter(ResizeFilter filter) {
    switch (filter) {
    case ResizeFilter::Box:
        return STBIR_FILTER_BOX;
    case ResizeFilter::Triangle:
        return STBIR_FILTER_TRIANGLE;
    case ResizeFilter::CatmullRom:
        return STBIR_FILTER_CATMULLROM;
    case ResizeFilter::Mitchell:
        return STBIR_FILTER_MITCHELL;
    default:
        return STBIR_FILTER_DEFAULT; // Mitchell down, Catmull-Rom up
    }
}

void sampleNearest(const RgbImage& source, const ResizePlan& plan, uint8_t* out) {
    for (int32_t y = 0; y < plan.innerHeight; ++y) {
        const int64_t sy =
            plan.cropY + (int64_t{2} * y + 1) * plan.cropHeight / (int64_t{2} * plan.innerHeight);
        for (int32_t x = 0; x < plan.innerWidth; ++x, out += 3) {
            const int64_t sx =
                plan.cropX + (int64_t{2} * x + 1) * plan.cropWidth / (int64_t{2} * plan.innerWidth);
            memcpy(out, source.pixels + (sy * source.width + sx) * 3, 3);
        }
    }
}

const uint8_t* regionOf(const RgbImage& source, const ResizePlan& plan) {
    return source.pixels + (static_cast<size_t>(plan.cropY) * source.width + plan.cropX) * 3;
}

// The region at its own size, for a plan that scales neither axis.
void copyRegion(const RgbImage& source, const ResizePlan& plan, uint8_t* out) {
    const size_t row = static_cast<size_t>(plan.cropWidth) * 3;
    for (int32_t y = 0; y < plan.cropHeight; ++y)
        memcpy(out + static_cast<size_t>(y) * row,
               regionOf(source, plan) + static_cast<size_t>(y) * source.width * 3, row);
}

// An axis whose size stays is passed through with the triangle filter: at a
// scale of 1 it weighs each pixel exactly 1 and its neighbours 0, so the
// values in linear light go through unchanged and only the other axis is
// resampled, as if by a pass along it alone.
bool sampleFiltered(const RgbImage& source, const ResizePlan& plan, ResizeFilter filter,
                    uint8_t* out) {
    const stbir_filter f = stbFilter(filter);
    const stbir_filter across = plan.cropWidth == plan.innerWidth ? STBIR_FILTER_TRIANGLE : f;
    const stbir_filter down = plan.cropHeight == plan.innerHeight ? STBIR_FILTER_TRIANGLE : f;
    const size_t stride = static_cast<size_t>(source.width) * 3;
    return stbir_resize(regionOf(source, plan), plan.cropWidth, plan.cropHeight,
                        static_cast<int>(stride), out, plan.innerWidth, plan.innerHeight, 0,
                        STBIR_TYPE_UINT8, 3, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                        STBIR_EDGE_CLAMP, across, down, STBIR_COLORSPACE_SRGB, nullptr) != 0;
}

// The scaled picture centred on a frame of the background colour.
void frame(const uint8_t* inner, const ResizePlan& plan, uint32_t background, uint8_t* out) {
    const uint8_t bg[3] = {static_cast<uint8_t>(background >> 16),
                           static_cast<uint8_t>(background >> 8), static_cast<uint8_t>(background)};
    const size_t count = static_cast<size_t>(plan.width) * static_cast<size_t>(plan.height);
    for (size_t i = 0; i < count; ++i)
        memcpy(out + 3 * i, bg, 3);
    const int32_t left = (plan.width - plan.innerWidth) / 2;
    const int32_t top = (plan.height - plan.innerHeight) / 2;
    const size_t innerRow = static_cast<size_t>(plan.innerWidth) * 3;
    for (int32_t y = 0; y < plan.innerHeight; ++y)
        memcpy(out + ((static_cast<size_t>(top) + y) * plan.width + left) * 3,
               inner + static_cast<size_t>(y) * innerRow, innerRow);
}

} // namespace

ResizePlan planResize(int32_t width, int32_t height, const ReadingChoices& choices) {
    const int64_t sw = width;
    const int64_t sh = height;
    int32_t w = choices.resizeWidth;
    int32_t h = choices.resizeHeight;
    ResizePlan plan{w, h, w, h, 0, 0, width, height};
    if (w == 0 || h == 0) { // one side given: the other keeps the aspect ratio
        if (w == 0)
            w = scaled(sw, h, sh);
        else
            h = scaled(sh, w, sw);
        return ResizePlan{w, h, w, h, 0, 0, width, height};
    }
    const bool sourceWider = sw * h > w * sh;
    if (choices.fit == Fit::Contain) {
        if (sourceWider)
            plan.innerHeight = scaled(sh, w, sw);
        else
            plan.innerWidth = scaled(sw, h, sh);
    } else if (choices.fit == Fit::Cover) {
        if (sourceWider) {
            plan.cropWidth = scaled(sh, w, h);
            plan.cropX = (width - plan.cropWidth) / 2;
        } else {
            plan.cropHeight = scaled(sw, h, w);
            plan.cropY = (height - plan.cropHeight) / 2;
        }
    }
    return plan;
}

Reason resizePicture(RgbImage* image, const ReadingChoices& choices) {
    if ((choices.resizeWidth == 0 && choices.resizeHeight == 0) || image->width == 0 ||
        image->height == 0)
        return Reason::None;
    const ResizePlan plan = planResize(image->width, image->height, choices);
    if (int64_t{plan.width} * plan.height > choices.maxPixels)
        return Reason::ResizeTooLarge;
    const size_t innerBytes =
        static_cast<size_t>(plan.innerWidth) * static_cast<size_t>(plan.innerHeight) * 3;
    auto* inner = static_cast<uint8_t*>(malloc(innerBytes));
    if (inner == nullptr)
        return Reason::OutOfMemory;
    if (plan.cropWidth == plan.innerWidth && plan.cropHeight == plan.innerHeight)
        copyRegion(*image, plan, inner); // every filter would only blur it
    else if (choices.filter == ResizeFilter::Nearest)
        sampleNearest(*image, plan, inner);
    else if (!sampleFiltered(*image, plan, choices.filter, inner)) {
        free(inner);
        return Reason::OutOfMemory;
    }
    uint8_t* result = inner;
    if (plan.innerWidth != plan.width || plan.innerHeight != plan.height) {
        result = static_cast<uint8_t*>(
            malloc(static_cast<size_t>(plan.width) * static_cast<size_t>(plan.height) * 3));
        if (result == nullptr) {
            free(inner);
            return Reason::OutOfMemory;
        }
        frame(inner, plan, choices.background, result);
        free(inner);
    }
    free(image->pixels);
    *image = RgbImage{plan.width, plan.height, result};
    return Reason::None;
}
