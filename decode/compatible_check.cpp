// What the compatible reader (loadImage) is known to get wrong in a file it
// reads, and why it refuses a file that the standard reader reads. Only
// headers are looked at, except for alpha, which needs the pixels.
#include "decode/decoders.h"
#include "image/tga_format.h"
#include "platform/byte_order.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t bmpHeadersBytes = 54; // file header and the 40 bytes the compatible reader takes
constexpr uint32_t bmpBitFields = 3;
constexpr uint32_t bmpRle8 = 1;
constexpr uint32_t bmpRle4 = 2;

// The only bit fields the compatible reader gets right: 5-5-5 at 16 bits,
// and at 32 bits the layout it assumes for compression 3 (first byte
// dropped, then blue, green, red).
bool masksAreAssumedLayout(uint16_t bitsPerPixel, const uint32_t* masks) {
    if (bitsPerPixel == 16)
        return masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
    if (bitsPerPixel == 32)
        return masks[0] == 0xFF000000u && masks[1] == 0x00FF0000 && masks[2] == 0x0000FF00;
    return true;
}

bool anyTransparency(const RgbaPicture& picture) {
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    for (size_t i = 0; i < count; ++i)
        if (picture.pixels[4 * i + 3] != 255)
            return true;
    return false;
}

bool standardReadingHasAlpha(const uint8_t* data, size_t size, int64_t maxPixels) {
    RgbaPicture picture{};
    if (decodeStandardBmp(data, size, maxPixels, &picture) != Reason::None)
        return false;
    const bool alpha = anyTransparency(picture);
    free(picture.pixels);
    return alpha;
}

void bmpWarnings(const uint8_t* data, size_t size, int64_t maxPixels,
                 std::vector<Reason>* warnings) {
    if (size < bmpHeadersBytes)
        return;
    if (fieldU32(data + 14) < 40) {
        warnings->push_back(Reason::ShortInfoHeader);
        return;
    }
    const uint16_t bitsPerPixel = fieldU16(data + 28);
    const uint32_t compression = fieldU32(data + 30);
    if (compression == bmpBitFields && size >= bmpHeadersBytes + 12) {
        // The masks follow the 40-byte header, inside a longer header or
        // after a 40-byte one.
        const uint32_t masks[3] = {fieldU32(data + 54), fieldU32(data + 58), fieldU32(data + 62)};
        if (!masksAreAssumedLayout(bitsPerPixel, masks))
            warnings->push_back(Reason::BitFieldsIgnored);
    }
    if ((bitsPerPixel == 16 || bitsPerPixel == 32) &&
        standardReadingHasAlpha(data, size, maxPixels))
        warnings->push_back(Reason::AlphaDropped);
}

void tgaWarnings(const uint8_t* data, size_t size, std::vector<Reason>* warnings) {
    if (size < tgaHeaderBytes)
        return;
    const uint8_t type = data[2];
    const uint16_t width = fieldU16(data + 12);
    const uint16_t height = fieldU16(data + 14);
    const uint8_t depth = data[16];
    const uint8_t descriptor = data[17];
    const bool trueColour = type == 2 || type == 10;
    if (depth != (trueColour ? 24 : 8))
        warnings->push_back(Reason::TgaDepthMisread);
    if ((descriptor & 0x20) == 0 && height > 1)
        warnings->push_back(Reason::TgaBottomUp);
    if ((descriptor & 0x10) != 0 && width > 1)
        warnings->push_back(Reason::TgaRightToLeft);
}

bool hasTgaFooter(const uint8_t* data, size_t size) {
    return size >= tgaFooterBytes && memcmp(data + size - tgaFooterBytes + tgaSignatureOffset,
                                            tgaSignature, tgaSignatureCheckedBytes) == 0;
}

} // namespace

std::vector<Reason> compatibleWarnings(const uint8_t* data, size_t size, int64_t maxPixels) {
    std::vector<Reason> warnings;
    if (isBmp(data, size))
        bmpWarnings(data, size, maxPixels, &warnings);
    else
        tgaWarnings(data, size, &warnings);
    return warnings;
}

Reason compatibleRefusal(const uint8_t* data, size_t size) {
    if (!isBmp(data, size))
        return hasTgaFooter(data, size) ? Reason::CompatibleOnlyRefuses : Reason::TgaWithoutFooter;
    if (size < bmpHeadersBytes)
        return Reason::CompatibleOnlyRefuses;
    const uint32_t compression = fieldU32(data + 30);
    if (compression == bmpRle8 || compression == bmpRle4)
        return Reason::RunLengthBmp;
    const uint16_t bitsPerPixel = fieldU16(data + 28);
    if (bitsPerPixel <= 8) {
        const uint64_t tableEnd =
            14 + uint64_t{fieldU32(data + 14)} + (uint64_t{4} << bitsPerPixel);
        if (tableEnd > size)
            return Reason::ShortColourTable;
    }
    return Reason::CompatibleOnlyRefuses;
}

bool compatibleSize(const uint8_t* data, size_t size, int64_t* pixels) {
    if (isBmp(data, size)) {
        // Below 40 bytes the header's fields lie elsewhere; the compatible
        // reader's own checks refuse what it makes of them.
        if (size < bmpHeadersBytes || fieldU32(data + 14) < 40)
            return false;
        const int64_t width = static_cast<int32_t>(fieldU32(data + 18));
        const int64_t height = static_cast<int32_t>(fieldU32(data + 22));
        *pixels = width * (height < 0 ? -height : height);
        return true;
    }
    if (size < tgaHeaderBytes)
        return false;
    *pixels = int64_t{fieldU16(data + 12)} * fieldU16(data + 14);
    return true;
}

bool compatibleWarningsNeedPixels(const uint8_t* data, size_t size) {
    if (!isBmp(data, size) || size < bmpHeadersBytes)
        return false;
    const uint16_t bitsPerPixel = fieldU16(data + 28);
    return bitsPerPixel == 16 || bitsPerPixel == 32;
}
