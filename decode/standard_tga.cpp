// TGA as image viewers read it: with or without the version 2.0 footer,
// colour-mapped (8-bit indices into 15, 16, 24 or 32-bit entries),
// true-colour of 15, 16, 24 or 32 bits, grey of 8 bits or grey with alpha
// of 16, raw or run-length (packets may run on into the next row), with the
// origin bits of the image descriptor honoured.
#include "decode/decoders.h"
#include "image/tga_format.h"
#include "platform/byte_order.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint8_t typeColourMapped = 1;
constexpr uint8_t typeTrueColour = 2;
constexpr uint8_t typeGrey = 3;
constexpr uint8_t runLengthFlag = 8; // types 9, 10 and 11
constexpr uint8_t descriptorRightToLeft = 0x10;
constexpr uint8_t descriptorTopDown = 0x20;
constexpr uint8_t descriptorAlphaBits = 0x0F;

struct TgaInfo {
    uint8_t idLength;
    uint8_t colourMapType;
    uint8_t kind; // image type without the run-length flag
    bool runLength;
    uint16_t mapFirst;
    uint16_t mapLength;
    uint8_t mapEntryBits;
    int32_t width;
    int32_t height;
    uint8_t depth;
    uint8_t descriptor;
};

TgaInfo readInfo(const uint8_t* h) {
    TgaInfo info{};
    info.idLength = h[0];
    info.colourMapType = h[1];
    info.kind = h[2] & static_cast<uint8_t>(~runLengthFlag);
    info.runLength = (h[2] & runLengthFlag) != 0;
    info.mapFirst = fieldU16(h + 3);
    info.mapLength = fieldU16(h + 5);
    info.mapEntryBits = h[7];
    info.width = fieldU16(h + 12);
    info.height = fieldU16(h + 14);
    info.depth = h[16];
    info.descriptor = h[17];
    return info;
}

// A colour field narrower than 8 bits has its bits repeated below it (5
// bits abcde become abcdeabc), so that 0 stays 0 and all ones become 255.
uint8_t widenField(uint32_t field, int bits) {
    uint32_t wide = 0;
    for (int filled = 0; filled < 8; filled += bits)
        wide = (wide << bits) | field;
    const int total = ((8 + bits - 1) / bits) * bits;
    return static_cast<uint8_t>(wide >> (total - 8));
}

bool validColourBits(uint8_t bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

bool validLayout(const TgaInfo& info, const uint8_t* h) {
    if ((h[2] & ~(runLengthFlag | 3)) != 0 || info.colourMapType > 1)
        return false;
    switch (info.kind) {
    case typeColourMapped:
        return info.colourMapType == 1 && info.depth == 8 && validColourBits(info.mapEntryBits);
    case typeTrueColour:
        return validColourBits(info.depth);
    case typeGrey:
        return info.depth == 8 || info.depth == 16;
    default:
        return false;
    }
}

// Red, green, blue, alpha of one stored colour of 15, 16, 24 or 32 bits.
void colourOf(const uint8_t* p, uint8_t bits, bool alphaBit, uint8_t* rgba) {
    if (bits == 15 || bits == 16) {
        const unsigned v = fieldU16(p);
        rgba[0] = widenField((v >> 10) & 0x1F, 5);
        rgba[1] = widenField((v >> 5) & 0x1F, 5);
        rgba[2] = widenField(v & 0x1F, 5);
        rgba[3] = (bits == 16 && alphaBit && (v & 0x8000) == 0) ? 0 : 255;
        return;
    }
    rgba[0] = p[2];
    rgba[1] = p[1];
    rgba[2] = p[0];
    rgba[3] = bits == 32 ? p[3] : 255;
}

struct ColourMap {
    uint8_t rgba[256][4]; // indices past the map are black
};

// Pixel values, one after another from the data start, whatever the
// encoding: raw, or run-length packets that may cross row ends.
struct ValueReader {
    const uint8_t* p;
    const uint8_t* end;
    size_t valueBytes;
    int repeat;   // values left in the current run packet
    int literals; // values left in the current raw packet
    const uint8_t* run;
};

// The value stored at the reader's position, or null when the data ends
// before it.
const uint8_t* takeStoredValue(ValueReader* r) {
    if (static_cast<size_t>(r->end - r->p) < r->valueBytes)
        return nullptr;
    const uint8_t* v = r->p;
    r->p += r->valueBytes;
    return v;
}

const uint8_t* nextValue(ValueReader* r, bool runLength) {
    if (!runLength)
        return takeStoredValue(r);
    if (r->repeat == 0 && r->literals == 0) {
        if (r->p >= r->end)
            return nullptr;
        const uint8_t header = *r->p++;
        const int count = (header & 0x7F) + 1;
        if ((header & 0x80) != 0) {
            r->run = takeStoredValue(r);
            if (r->run == nullptr)
                return nullptr;
            r->repeat = count;
        } else {
            r->literals = count;
        }
    }
    if (r->repeat > 0) {
        --r->repeat;
        return r->run;
    }
    --r->literals;
    return takeStoredValue(r);
}

bool alphaWanted(const TgaInfo& info, uint8_t bits) {
    // 16-bit colours carry an attribute bit that is alpha only when the
    // descriptor says so; a 32-bit colour's fourth byte is alpha unless it is
    // zero everywhere (checked afterwards).
    return bits == 16 && (info.descriptor & descriptorAlphaBits) != 0;
}

Reason readColourMap(const uint8_t* data, size_t size, size_t* at, const TgaInfo& info,
                     ColourMap* map) {
    *map = ColourMap{};
    if (info.colourMapType == 0)
        return Reason::None;
    const size_t entryBytes = (info.mapEntryBits + 7u) / 8;
    const size_t mapBytes = entryBytes * info.mapLength;
    if (size - *at < mapBytes)
        return Reason::CutShort;
    if (info.kind == typeColourMapped) {
        const bool alphaBit = alphaWanted(info, info.mapEntryBits);
        // Entry k of the map stands for pixel value mapFirst + k.
        for (uint32_t k = 0; k < info.mapLength && info.mapFirst + k < 256; ++k)
            colourOf(data + *at + k * entryBytes, info.mapEntryBits, alphaBit,
                     map->rgba[info.mapFirst + k]);
    }
    *at += mapBytes;
    return Reason::None;
}

void storeValue(const uint8_t* v, const TgaInfo& info, const ColourMap& map, uint8_t* out) {
    switch (info.kind) {
    case typeColourMapped:
        memcpy(out, map.rgba[v[0]], 4);
        break;
    case typeGrey:
        out[0] = out[1] = out[2] = v[0];
        out[3] = info.depth == 16 ? v[1] : 255;
        break;
    default:
        colourOf(v, info.depth, alphaWanted(info, info.depth), out);
        break;
    }
}

bool hasThirtyTwoBitColour(const TgaInfo& info) {
    return (info.kind == typeTrueColour && info.depth == 32) ||
           (info.kind == typeColourMapped && info.mapEntryBits == 32);
}

} // namespace

bool plausibleTga(const uint8_t* data, size_t size) {
    if (size < tgaHeaderBytes)
        return false;
    const TgaInfo info = readInfo(data);
    return validLayout(info, data) && info.width > 0 && info.height > 0;
}

Reason decodeStandardTga(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out) {
    if (size < tgaHeaderBytes)
        return Reason::UnknownFormat;
    const TgaInfo info = readInfo(data);
    if (!validLayout(info, data))
        return Reason::UnknownFormat;
    if (int64_t{info.width} * info.height > maxPixels)
        return Reason::TooManyPixels;
    size_t at = tgaHeaderBytes;
    if (size - at < info.idLength)
        return Reason::CutShort;
    at += info.idLength;
    ColourMap map{};
    const Reason mapReason = readColourMap(data, size, &at, info, &map);
    if (mapReason != Reason::None)
        return mapReason;

    const size_t count = static_cast<size_t>(info.width) * static_cast<size_t>(info.height);
    const size_t valueBytes = (info.depth + 7u) / 8;
    // The least the data can hold: every value once, or one run packet of
    // 128 per 128 pixels; checked before the block is allocated.
    const size_t least =
        info.runLength ? (count + 127) / 128 * (1 + valueBytes) : count * valueBytes;
    if (size - at < least)
        return Reason::CutShort;
    auto* pixels = static_cast<uint8_t*>(calloc(count == 0 ? 1 : count, 4));
    if (pixels == nullptr)
        return Reason::OutOfMemory;
    ValueReader reader{data + at, data + size, valueBytes, 0, 0, nullptr};
    const bool topDown = (info.descriptor & descriptorTopDown) != 0;
    const bool rightToLeft = (info.descriptor & descriptorRightToLeft) != 0;
    for (int32_t i = 0; i < info.height; ++i) {
        const int32_t y = topDown ? i : info.height - 1 - i;
        for (int32_t j = 0; j < info.width; ++j) {
            const uint8_t* v = nextValue(&reader, info.runLength);
            if (v == nullptr) {
                free(pixels);
                return Reason::CutShort;
            }
            const int32_t x = rightToLeft ? info.width - 1 - j : j;
            storeValue(v, info, map,
                       pixels + (static_cast<size_t>(y) * static_cast<size_t>(info.width) + x) * 4);
        }
    }
    if (hasThirtyTwoBitColour(info))
        opaqueUnlessAnyAlpha(pixels, count);
    *out = RgbaPicture{info.width, info.height, pixels};
    return Reason::None;
}
