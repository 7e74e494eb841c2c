// Transparency over the background colour and the EXIF turns.
#include "prepare/steps.h"

#include <cstdlib>

namespace {

uint8_t over(uint8_t colour, uint8_t alpha, uint8_t background) {
    return static_cast<uint8_t>((colour * alpha + background * (255 - alpha) + 127) / 255);
}

// Where output pixel (x, y) of a turned picture comes from in the source of
// width w and height h; orientations 5 to 8 swap the sides.
void sourceOf(int orientation, int32_t x, int32_t y, int32_t w, int32_t h, int32_t* sx,
              int32_t* sy) {
    switch (orientation) {
    case 2:
        *sx = w - 1 - x, *sy = y;
        break; // mirrored
    case 3:
        *sx = w - 1 - x, *sy = h - 1 - y;
        break; // half turn
    case 4:
        *sx = x, *sy = h - 1 - y;
        break; // mirrored upside down
    case 5:
        *sx = y, *sy = x;
        break; // transposed
    case 6:
        *sx = y, *sy = h - 1 - x;
        break; // stored a quarter turn anticlockwise
    case 7:
        *sx = w - 1 - y, *sy = h - 1 - x;
        break; // transversed
    case 8:
        *sx = w - 1 - y, *sy = x;
        break; // stored a quarter turn clockwise
    default:
        *sx = x, *sy = y;
        break;
    }
}

} // namespace

uint8_t* composeOver(const RgbaPicture& picture, uint32_t background) {
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    auto* rgb = static_cast<uint8_t*>(malloc(count == 0 ? 1 : count * 3));
    if (rgb == nullptr)
        return nullptr;
    const uint8_t bg[3] = {static_cast<uint8_t>(background >> 16),
                           static_cast<uint8_t>(background >> 8), static_cast<uint8_t>(background)};
    const uint8_t* in = picture.pixels;
    uint8_t* out = rgb;
    for (size_t i = 0; i < count; ++i, in += 4, out += 3)
        for (int c = 0; c < 3; ++c)
            out[c] = over(in[c], in[3], bg[c]);
    return rgb;
}

bool applyOrientation(RgbImage* image, int orientation) {
    if (orientation < 2 || orientation > 8)
        return true;
    const int32_t w = image->width;
    const int32_t h = image->height;
    const bool swapped = orientation >= 5;
    const int32_t outW = swapped ? h : w;
    const int32_t outH = swapped ? w : h;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    auto* turned = static_cast<uint8_t*>(malloc(count == 0 ? 1 : count * 3));
    if (turned == nullptr)
        return false;
    uint8_t* out = turned;
    for (int32_t y = 0; y < outH; ++y) {
        for (int32_t x = 0; x < outW; ++x, out += 3) {
            int32_t sx = 0;
            int32_t sy = 0;
            sourceOf(orientation, x, y, w, h, &sx, &sy);
            const uint8_t* in = image->pixels + (static_cast<size_t>(sy) * w + sx) * 3;
            out[0] = in[0], out[1] = in[1], out[2] = in[2];
        }
    }
    free(image->pixels);
    *image = RgbImage{outW, outH, turned};
    return true;
}
