// Files that claim far more pixels than they hold, and one large valid
// image, written byte by byte so that nothing here depends on the loader's
// own idea of the formats.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct HostileFile {
    std::string name;
    std::string what; // the claim, for messages
    Bytes bytes;
};

// Headers of huge images followed by a little data: every one must be
// refused quickly, without allocating what the header claims.
std::vector<HostileFile> hostileFiles();

// A valid 8000 x 6000 run-length TGA (type 10, top-left origin) whose
// pixel (x, y) is largePixel(x, y).
constexpr int32_t largeWidth = 8000;
constexpr int32_t largeHeight = 6000;
Bytes largeImage();
void largePixel(int32_t x, int32_t y, uint8_t rgb[3]);
