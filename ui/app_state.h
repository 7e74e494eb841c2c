// The one process-wide record of the user interface: the source path and the
// image loaded from it, and the conversion entry that reads that image.
#pragma once

#include "convert/convert.h"

#include <cstdint>

struct AppState {
    char* sourcePath;     // owned (freeString), or null
    uint8_t* imagePixels; // owned (free), or null
    int32_t imageWidth;   // of the last image that loaded; 0 until one does
    int32_t imageHeight;
};

extern AppState appState;

// The image that appState holds; a null pixel block is a 0 x 0 image, whatever
// sizes an earlier image left behind.
RgbImage heldImage(const AppState& state);

// Converts the held image and writes targetPath. 0 on success, -1 when the
// target cannot be written (nothing is left behind then).
int32_t convertAndSave(const char* targetPath, int32_t greenCompensation, DitherMode ditherMode);
