// The steps of readPicture after decoding, inside the room (and for the
// tests of resizing).
#pragma once

#include "prepare/prepare.h"

#include <cstdint>
#include <string>

// What turning a picture into sRGB did: failure OutOfMemory (the reading
// fails); a warning when the file's colour space cannot be used and the
// pixels stay as stored; otherwise `from` names what was converted, empty
// when the file declares nothing but sRGB.
struct ColourConversion {
    Reason failure = Reason::None;
    Reason warning = Reason::None;
    std::string from;
};

// Converts the pixels in place from the colour space the file declares to
// sRGB, perceptual intent, alpha unchanged (colour_profile.cpp).
ColourConversion convertToSrgb(RgbaPicture* picture, const ColourSpace& space);

// Each pixel over the background: (c * a + bg * (255 - a) + 127) / 255.
// Returns a malloc'd RGB block, or null when memory runs out.
uint8_t* composeOver(const RgbaPicture& picture, uint32_t background);

// Turns the picture so that orientation 1 results; the old block is released
// on success. False when memory runs out.
bool applyOrientation(RgbImage* image, int orientation);

// Scales to the size asked for; the old block is released on success.
Reason resizePicture(RgbImage* image, const ReadingChoices& choices);

// The output size of a resize of a width x height picture.
struct ResizePlan {
    int32_t width; // final picture
    int32_t height;
    int32_t innerWidth;  // the scaled picture inside it (contain) or
    int32_t innerHeight; // the whole frame (cover, stretch)
    int32_t cropX;       // source region scaled (cover crops it)
    int32_t cropY;
    int32_t cropWidth;
    int32_t cropHeight;
};
ResizePlan planResize(int32_t width, int32_t height, const ReadingChoices& choices);
