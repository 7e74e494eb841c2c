// Which reader a file goes to, and what the standard readers share.
#include "decode/decoders.h"

bool isBmp(const uint8_t* data, size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

Reason decodePicture(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out) {
    if (isGeneralFormat(data, size))
        return decodeGeneral(data, size, maxPixels, out);
    if (isBmp(data, size))
        return decodeStandardBmp(data, size, maxPixels, out);
    return decodeStandardTga(data, size, maxPixels, out);
}

void opaqueUnlessAnyAlpha(uint8_t* rgba, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (rgba[4 * i + 3] != 0)
            return;
    for (size_t i = 0; i < count; ++i)
        rgba[4 * i + 3] = 255;
}
