// BMP as image viewers read it: OS/2 headers (12 and 16 to 64 bytes),
// Windows headers of 40, 52, 56, 108 and 124 bytes, bit-field masks of any
// width (compression 3 and 6), 5-6-5 and other 16-bit layouts, alpha, and
// run-length images (compression 1 for 8 bits, 2 for 4 bits).
#include "decode/bmp_run_length.h"
#include "decode/decoders.h"
#include "image/bmp_format.h"
#include "platform/byte_order.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t os2CoreHeader = 12;
constexpr uint32_t compressionNone = 0;
constexpr uint32_t compressionRle8 = 1;
constexpr uint32_t compressionRle4 = 2;
constexpr uint32_t compressionBitFields = 3;
constexpr uint32_t compressionAlphaBitFields = 6;

struct Channel {
    uint32_t mask;
    int shift;
    int bits;
};

Channel channelOf(uint32_t mask) {
    Channel c{mask, 0, 0};
    if (mask == 0)
        return c;
    while (((mask >> c.shift) & 1u) == 0)
        ++c.shift;
    while (c.shift + c.bits < 32 && ((mask >> (c.shift + c.bits)) & 1u) != 0)
        ++c.bits;
    return c;
}

uint8_t scaleField(uint32_t value, const Channel& c) {
    const uint32_t field = (value & c.mask) >> c.shift;
    const uint64_t maximum = c.bits >= 32 ? 0xFFFFFFFFu : (1u << c.bits) - 1;
    return static_cast<uint8_t>((field & maximum) * uint64_t{255} / maximum);
}

struct BmpInfo {
    uint32_t pixelOffset;
    uint32_t headerSize;
    int32_t width;
    int32_t height; // as stored: negative means top row first
    uint16_t bitsPerPixel;
    uint32_t compression;
    uint32_t coloursUsed;
    uint32_t masks[4]; // red, green, blue, alpha
    bool os2;
};

bool readInfo(const uint8_t* data, size_t size, BmpInfo* info) {
    if (size < bmpFileHeaderBytes + 4)
        return false;
    *info = BmpInfo{};
    info->pixelOffset = fieldU32(data + 10);
    info->headerSize = fieldU32(data + 14);
    const uint8_t* h = data + bmpFileHeaderBytes;
    if (info->headerSize == os2CoreHeader) {
        if (size < bmpFileHeaderBytes + os2CoreHeader)
            return false;
        info->os2 = true;
        info->width = fieldU16(h + 4);
        info->height = fieldU16(h + 6);
        info->bitsPerPixel = fieldU16(h + 10);
        return true;
    }
    // OS/2 version 2 headers are 16 to 64 bytes; fields past the header's
    // own size read as zero.
    if (info->headerSize < 16 || info->headerSize > 4096 ||
        size < bmpFileHeaderBytes + info->headerSize)
        return false;
    uint8_t full[124] = {};
    memcpy(full, h, info->headerSize < sizeof full ? info->headerSize : sizeof full);
    info->os2 = info->headerSize < bmpInfoHeaderBytes || info->headerSize == 64;
    info->width = static_cast<int32_t>(fieldU32(full + 4));
    info->height = static_cast<int32_t>(fieldU32(full + 8));
    info->bitsPerPixel = fieldU16(full + 14);
    info->compression = fieldU32(full + 16);
    info->coloursUsed = fieldU32(full + 32);
    const bool masksInHeader = info->headerSize >= 52 && !info->os2;
    const size_t maskCount = info->compression == compressionAlphaBitFields ? 4 : 3;
    if (info->compression == compressionBitFields ||
        info->compression == compressionAlphaBitFields) {
        const uint8_t* m = full + 40;
        if (!masksInHeader) {
            if (size < bmpFileHeaderBytes + info->headerSize + 4 * maskCount)
                return false;
            m = h + info->headerSize;
        }
        for (size_t i = 0; i < maskCount; ++i)
            info->masks[i] = fieldU32(m + 4 * i);
        if (masksInHeader && info->headerSize >= 56)
            info->masks[3] = fieldU32(full + 52);
    }
    return true;
}

bool validDepth(const BmpInfo& info) {
    switch (info.compression) {
    case compressionNone:
        return info.bitsPerPixel == 1 || info.bitsPerPixel == 4 || info.bitsPerPixel == 8 ||
               info.bitsPerPixel == 16 || info.bitsPerPixel == 24 || info.bitsPerPixel == 32;
    case compressionRle8:
        return info.bitsPerPixel == 8;
    case compressionRle4:
        return info.bitsPerPixel == 4;
    case compressionBitFields:
    case compressionAlphaBitFields:
        return !info.os2 && (info.bitsPerPixel == 16 || info.bitsPerPixel == 32);
    default:
        return false;
    }
}

struct Palette {
    uint8_t rgb[256][3]; // entries the file does not hold stay black
};

void readPalette(const uint8_t* data, size_t size, const BmpInfo& info, Palette* palette) {
    *palette = Palette{};
    if (info.bitsPerPixel > 8)
        return;
    const uint32_t capacity = 1u << info.bitsPerPixel;
    const uint32_t entries =
        (info.coloursUsed != 0 && info.coloursUsed < capacity) ? info.coloursUsed : capacity;
    const size_t entryBytes = info.os2 && info.headerSize == os2CoreHeader ? 3 : 4;
    const size_t start = bmpFileHeaderBytes + info.headerSize;
    // A table cut short by the pixel data or the file keeps what it holds.
    size_t end = size;
    if (info.pixelOffset >= start && info.pixelOffset < end)
        end = info.pixelOffset;
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t at = start + i * entryBytes;
        if (at + entryBytes > end)
            break;
        palette->rgb[i][0] = data[at + 2];
        palette->rgb[i][1] = data[at + 1];
        palette->rgb[i][2] = data[at];
    }
}

void putPixel(uint8_t* out, const uint8_t* rgb, uint8_t alpha) {
    out[0] = rgb[0];
    out[1] = rgb[1];
    out[2] = rgb[2];
    out[3] = alpha;
}

struct Layout {
    Channel channels[4];
    bool useAlpha;
};

Layout layoutOf(const BmpInfo& info) {
    uint32_t masks[4] = {info.masks[0], info.masks[1], info.masks[2], info.masks[3]};
    if (info.compression == compressionNone) {
        if (info.bitsPerPixel == 16) {
            masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F, masks[3] = 0;
        } else {
            // The fourth byte of 32-bit pixels is alpha unless it is zero
            // everywhere (the usual unused byte).
            masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF, masks[3] = 0xFF000000u;
        }
    }
    Layout layout{};
    for (int i = 0; i < 4; ++i)
        layout.channels[i] = channelOf(masks[i]);
    layout.useAlpha = masks[3] != 0;
    return layout;
}

uint32_t packedValue(const uint8_t* p, uint16_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 16:
        return fieldU16(p);
    case 24:
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16);
    default:
        return fieldU32(p);
    }
}

void decodeRow(const uint8_t* row, const BmpInfo& info, const Palette& palette,
               const Layout& layout, uint8_t* out) {
    const int32_t width = info.width;
    if (info.bitsPerPixel <= 8) {
        const int bits = info.bitsPerPixel;
        const int perByte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (int32_t x = 0; x < width; ++x, out += 4) {
            const int shift = 8 - bits * (x % perByte + 1);
            putPixel(out, palette.rgb[(row[x / perByte] >> shift) & mask], 255);
        }
        return;
    }
    if (info.bitsPerPixel == 24) {
        for (int32_t x = 0; x < width; ++x, out += 4, row += 3) {
            const uint8_t rgb[3] = {row[2], row[1], row[0]};
            putPixel(out, rgb, 255);
        }
        return;
    }
    const size_t step = info.bitsPerPixel / 8;
    for (int32_t x = 0; x < width; ++x, out += 4, row += step) {
        const uint32_t v = packedValue(row, info.bitsPerPixel);
        uint8_t rgb[3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = layout.channels[c].mask == 0 ? 0 : scaleField(v, layout.channels[c]);
        putPixel(out, rgb, layout.useAlpha ? scaleField(v, layout.channels[3]) : 255);
    }
}

int64_t rowStride(const BmpInfo& info) {
    return ((int64_t{info.width} * info.bitsPerPixel + 31) / 32) * 4;
}

// The last row's padding may be missing.
bool plainRowsFit(size_t size, const BmpInfo& info, int32_t rows) {
    const int64_t dataBytes = (int64_t{info.width} * info.bitsPerPixel + 7) / 8;
    const int64_t needed = rowStride(info) * (rows - 1) + dataBytes;
    return int64_t{info.pixelOffset} + needed <= static_cast<int64_t>(size);
}

void readPlainRows(const uint8_t* data, const BmpInfo& info, int32_t rows, const Palette& palette,
                   uint8_t* pixels) {
    const int64_t stride = rowStride(info);
    const Layout layout = layoutOf(info);
    const bool topDown = info.height < 0;
    const size_t outRow = static_cast<size_t>(info.width) * 4;
    for (int32_t i = 0; i < rows; ++i) {
        const uint8_t* row = data + info.pixelOffset + i * stride;
        const int32_t y = topDown ? i : rows - 1 - i;
        decodeRow(row, info, palette, layout, pixels + static_cast<size_t>(y) * outRow);
    }
    if (layout.useAlpha && info.compression == compressionNone)
        opaqueUnlessAnyAlpha(pixels, static_cast<size_t>(info.width) * static_cast<size_t>(rows));
}

// Pixels the runs skip keep colour 0.
Reason readRunLengthRows(const uint8_t* data, size_t size, const BmpInfo& info, int32_t rows,
                         const Palette& palette, uint8_t* pixels) {
    if (info.pixelOffset >= size)
        return Reason::CutShort;
    const size_t count = static_cast<size_t>(info.width) * static_cast<size_t>(rows);
    auto* indices = static_cast<uint8_t*>(calloc(count, 1));
    if (indices == nullptr)
        return Reason::OutOfMemory;
    const Reason reason =
        expandRunLength(data + info.pixelOffset, data + size, info.compression == compressionRle4,
                        info.width, rows, indices);
    if (reason == Reason::None) {
        const bool topDown = info.height < 0;
        for (int32_t i = 0; i < rows; ++i) {
            const int32_t y = topDown ? i : rows - 1 - i;
            const uint8_t* from =
                indices + static_cast<size_t>(i) * static_cast<size_t>(info.width);
            uint8_t* out = pixels + static_cast<size_t>(y) * static_cast<size_t>(info.width) * 4;
            for (int32_t x = 0; x < info.width; ++x, out += 4)
                putPixel(out, palette.rgb[from[x]], 255);
        }
    }
    free(indices);
    return reason;
}

} // namespace

Reason decodeStandardBmp(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out) {
    BmpInfo info{};
    if (!readInfo(data, size, &info))
        return size < bmpFileHeaderBytes + 16 ? Reason::CutShort : Reason::UnsupportedBmp;
    if (!validDepth(info) || info.width < 0 || info.height == INT32_MIN)
        return Reason::UnsupportedBmp;
    const int32_t rows = info.height < 0 ? -info.height : info.height;
    if (int64_t{info.width} * rows > maxPixels)
        return Reason::TooManyPixels;
    Palette palette{};
    readPalette(data, size, info, &palette);

    const size_t bytes = static_cast<size_t>(info.width) * static_cast<size_t>(rows) * 4;
    const bool runLength =
        info.compression == compressionRle8 || info.compression == compressionRle4;
    if (bytes > 0 && !runLength && !plainRowsFit(size, info, rows))
        return Reason::CutShort;
    auto* pixels = static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : bytes));
    if (pixels == nullptr)
        return Reason::OutOfMemory;
    Reason reason = Reason::None;
    if (bytes > 0 && runLength)
        reason = readRunLengthRows(data, size, info, rows, palette, pixels);
    else if (bytes > 0)
        readPlainRows(data, info, rows, palette, pixels);
    if (reason != Reason::None) {
        free(pixels);
        return reason;
    }
    *out = RgbaPicture{info.width, rows, pixels};
    return Reason::None;
}
