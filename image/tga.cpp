// TGA decoding for files in the version 2.0 layout (ending with the 26-byte
// footer): image types 1, 2, 3 (uncompressed) and 9, 10, 11 (run-length),
// one-byte values (palette index or grey) or three-byte true colour. Rows are
// delivered in file order; the descriptor's origin bits are not consulted.
#include "image/decoders.h"
#include "image/stream_io.h"
#include "image/tga_format.h"
#include "platform/byte_order.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t paletteEntries = 256;

struct TgaHeader {
    uint8_t idLength;
    uint8_t imageType;
    uint16_t colourMapLength;
    uint8_t colourMapEntryBits;
    int32_t width;
    int32_t height;
};

struct Palette {
    uint8_t bgr[paletteEntries * 3]; // entries exactly as stored: blue, green, red
};

bool hasFooter(const LoaderContext& ctx) {
    uint8_t footer[tgaFooterBytes];
    const int32_t footerStart =
        ctx.streamEnd - ctx.imageStart - static_cast<int32_t>(sizeof footer);
    seekFromImageStart(ctx, static_cast<uint32_t>(footerStart));
    const bool read = readExact(ctx.stream, footer, sizeof footer);
    (void)fseek(ctx.stream, ctx.imageStart, SEEK_SET); // a failed seek shows as a failed read
    return read && memcmp(footer + tgaSignatureOffset, tgaSignature, tgaSignatureCheckedBytes) == 0;
}

bool readHeader(FILE* stream, TgaHeader* header) {
    uint8_t raw[tgaHeaderBytes];
    if (!readExact(stream, raw, sizeof raw))
        return false;
    header->idLength = raw[0];
    header->imageType = raw[2];
    header->colourMapLength = fieldU16(raw + 5);
    header->colourMapEntryBits = raw[7];
    header->width = fieldU16(raw + 12);
    header->height = fieldU16(raw + 14);
    return true;
}

bool skipImageId(FILE* stream, uint8_t idLength) {
    uint8_t id[255];
    return idLength == 0 || readExact(stream, id, idLength);
}

// Keeps the first 256 entries; a longer map is read through to its end so the
// pixel data is found after it.
bool readColourMap(FILE* stream, const TgaHeader& header, Palette* palette) {
    if (header.colourMapEntryBits != 24 || header.colourMapLength == 0)
        return false;
    const int32_t kept =
        header.colourMapLength < paletteEntries ? header.colourMapLength : paletteEntries;
    if (!readExact(stream, palette->bgr, static_cast<size_t>(kept) * 3))
        return false;
    size_t rest = static_cast<size_t>(header.colourMapLength - kept) * 3;
    uint8_t discard[4096];
    while (rest > 0) {
        const size_t chunk = rest < sizeof discard ? rest : sizeof discard;
        if (!readExact(stream, discard, chunk))
            return false;
        rest -= chunk;
    }
    return true;
}

bool isColourMapped(uint8_t type) {
    return type == 1 || type == 9;
}
bool isRunLength(uint8_t type) {
    return type == 9 || type == 10 || type == 11;
}
bool isSupportedType(uint8_t type) {
    return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
}
int32_t valueBytes(uint8_t type) {
    return (type == 2 || type == 10) ? 3 : 1;
}

// Expands run-length packets into the staging block. A packet is clipped at
// the row end: its values past the width are read and dropped.
bool readRunLengthRows(FILE* stream, const TgaHeader& header, uint8_t* staging) {
    const size_t bytesPerValue = static_cast<size_t>(valueBytes(header.imageType));
    uint8_t packet[128 * 3];
    uint8_t* out = staging;
    for (int32_t y = 0; y < header.height; ++y) {
        int32_t x = 0;
        while (x < header.width) {
            uint8_t packetHeader = 0;
            if (!readExact(stream, &packetHeader, 1))
                return false;
            const int32_t count = (packetHeader & 0x7F) + 1;
            const int32_t stored = count < header.width - x ? count : header.width - x;
            if ((packetHeader & 0x80) != 0) {
                if (!readExact(stream, packet, bytesPerValue))
                    return false;
                for (int32_t i = 0; i < stored; ++i) {
                    memcpy(out, packet, bytesPerValue);
                    out += bytesPerValue;
                }
            } else {
                if (!readExact(stream, packet, bytesPerValue * static_cast<size_t>(count)))
                    return false;
                memcpy(out, packet, bytesPerValue * static_cast<size_t>(stored));
                out += bytesPerValue * static_cast<size_t>(stored);
            }
            x += count;
        }
    }
    return true;
}

void convertStaging(const uint8_t* staging, int32_t pixelCount, uint8_t type,
                    const Palette& palette, uint8_t* out) {
    const auto count = static_cast<size_t>(pixelCount);
    if (isColourMapped(type)) {
        for (size_t i = 0; i < count; ++i, out += 3) {
            const uint8_t* entry = &palette.bgr[3 * size_t{staging[i]}];
            out[0] = entry[2];
            out[1] = entry[1];
            out[2] = entry[0];
        }
    } else if (valueBytes(type) == 3) {
        for (size_t i = 0; i < count; ++i, out += 3, staging += 3) {
            out[0] = staging[2];
            out[1] = staging[1];
            out[2] = staging[0];
        }
    } else {
        for (size_t i = 0; i < count; ++i, out += 3)
            out[0] = out[1] = out[2] = staging[i];
    }
}

// The least the stream must hold for the pixel data that the header claims:
// the whole block when uncompressed; for run-length, one packet header and
// one value for every 128 pixels of every row.
int64_t minimumPixelBytes(const TgaHeader& header) {
    const int64_t bytesPerValue = valueBytes(header.imageType);
    if (!isRunLength(header.imageType))
        return static_cast<int64_t>(header.width) * header.height * bytesPerValue;
    const int64_t packetsPerRow = (static_cast<int64_t>(header.width) + 127) / 128;
    return packetsPerRow * header.height * (1 + bytesPerValue);
}

} // namespace

uint8_t* decodeTga(FILE* stream, int32_t imageStart, int32_t remainingLength, int32_t* width,
                   int32_t* height) {
    const LoaderContext ctx{stream, imageStart, imageStart + remainingLength};
    if (!hasFooter(ctx))
        return failLoad(ctx);
    TgaHeader header{};
    if (!readHeader(stream, &header) || !skipImageId(stream, header.idLength))
        return failLoad(ctx);
    if (!isSupportedType(header.imageType))
        return failLoad(ctx);

    Palette palette{}; // indices past the colour map's length stay black
    if (isColourMapped(header.imageType) && !readColourMap(stream, header, &palette))
        return failLoad(ctx);

    const bool empty = header.width == 0 || header.height == 0;
    if (empty && !isRunLength(header.imageType))
        return failLoad(ctx);
    const int32_t pixelBytes = imageBytes(header.width, header.height, 3);
    if (pixelBytes < 0 || bytesLeft(ctx) < minimumPixelBytes(header))
        return failLoad(ctx);

    const int32_t pixelCount = header.width * header.height;
    const int32_t stagingBytes = pixelCount * valueBytes(header.imageType);
    uint8_t* staging = allocBlock(stagingBytes);
    if (staging == nullptr)
        return failLoad(ctx);
    const bool read = isRunLength(header.imageType)
                          ? readRunLengthRows(stream, header, staging)
                          : readExact(stream, staging, static_cast<size_t>(stagingBytes));
    if (!read)
        return failLoad(ctx, staging);

    uint8_t* pixels = allocBlock(pixelBytes);
    if (pixels == nullptr)
        return failLoad(ctx, staging);
    convertStaging(staging, pixelCount, header.imageType, palette, pixels);
    free(staging);
    *width = header.width;
    *height = header.height;
    return pixels;
}
