// Windows bitmap decoding: 14-byte file header, the first 40 bytes of the
// information header, an optional colour table and uncompressed rows of 1, 4,
// 8, 16, 24 or 32 bits per pixel. Bit-field masks are never applied: 16-bit
// pixels are always 5-5-5 and compression 3 at 32 bits only selects which of
// the four bytes is dropped.
#include "image/bmp_format.h"
#include "image/decoders.h"
#include "image/image.h"
#include "image/stream_io.h"
#include "platform/byte_order.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool isSupportedDepth(uint16_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

int64_t roundUpToFour(int64_t n) {
    return (n % 4 == 0) ? n : n - (n % 4) + 4;
}

struct RowLayout {
    int64_t storedBytes; // bytes a row occupies in the file, padding included
    int64_t dataBytes;   // bytes that must be present; the rest may be cut off in the last row
};

RowLayout rowLayout(uint16_t bitsPerPixel, int32_t width) {
    const int64_t w = width;
    switch (bitsPerPixel) {
    case 1:
        return {roundUpToFour((w + 7) / 8), roundUpToFour((w + 7) / 8)};
    case 4:
        return {roundUpToFour((w + 1) / 2), roundUpToFour((w + 1) / 2)};
    case 8:
        return {roundUpToFour(w), roundUpToFour(w)};
    case 16:
        return {2 * w + ((w % 2 != 0) ? 2 : 0), 2 * w};
    case 24:
        return {3 * w + (4 - (3 * w) % 4) % 4, 3 * w};
    default:
        return {4 * w, 4 * w};
    }
}

// Bytes the stream must still hold for every stored row; the padding of the
// last 16- or 24-bit row may be missing.
int64_t requiredPixelBytes(const RowLayout& layout, int32_t rows) {
    if (rows == 0 || layout.storedBytes == 0)
        return 0;
    return layout.storedBytes * (rows - 1) + layout.dataBytes;
}

struct Palette {
    uint8_t rgb[256 * 3];
};

bool readColourTable(FILE* stream, uint16_t bitsPerPixel, Palette* palette) {
    const size_t entries = size_t{1} << bitsPerPixel;
    uint8_t raw[256 * 4];
    if (!readExact(stream, raw, entries * 4))
        return false;
    for (size_t i = 0; i < entries; ++i) {
        palette->rgb[3 * i] = raw[4 * i + 2];
        palette->rgb[3 * i + 1] = raw[4 * i + 1];
        palette->rgb[3 * i + 2] = raw[4 * i];
    }
    return true;
}

void decodeIndexedRow(const uint8_t* row, int32_t width, uint16_t bitsPerPixel,
                      const Palette& palette, uint8_t* out) {
    const int pixelsPerByte = 8 / bitsPerPixel;
    const unsigned mask = (1u << bitsPerPixel) - 1;
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t byte = row[x / pixelsPerByte];
        const int shift = 8 - bitsPerPixel * (x % pixelsPerByte + 1);
        const size_t index = (byte >> shift) & mask;
        const uint8_t* entry = &palette.rgb[3 * index];
        memcpy(out + 3 * static_cast<size_t>(x), entry, 3);
    }
}

void decode16Row(const uint8_t* row, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x) {
        const unsigned v = fieldU16(row + 2 * static_cast<size_t>(x));
        out[0] = static_cast<uint8_t>((v >> 7) & 0xF8);
        out[1] = static_cast<uint8_t>((v >> 2) & 0xF8);
        out[2] = static_cast<uint8_t>((v & 0x1F) << 3);
        out += 3;
    }
}

// Five pixels (15 bytes) at a time where SSE2 is there: the first and last
// byte of each pixel trade places by shifting the whole register two bytes
// either way, and the middle bytes stay. Each 16-byte store also writes the
// next group's first byte, which that group then writes again; groups stop
// where a full load or store would pass the row's end, and the rest go one
// pixel at a time.
void decode24Row(const uint8_t* row, int32_t width, uint8_t* out) {
    int32_t x = 0;
#ifdef __SSE2__
    const __m128i firsts = _mm_setr_epi8(-1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, -1, 0, 0, 0);
    const __m128i middles = _mm_slli_si128(firsts, 1);
    for (; width - x >= 6; x += 5, row += 15, out += 15) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
        const __m128i lasts = _mm_and_si128(_mm_srli_si128(v, 2), firsts);
        const __m128i swapped = _mm_or_si128(_mm_slli_si128(_mm_and_si128(v, firsts), 2), lasts);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_or_si128(swapped, _mm_and_si128(v, middles)));
    }
#endif
    for (; x < width; ++x) {
        out[0] = row[2];
        out[1] = row[1];
        out[2] = row[0];
        row += 3;
        out += 3;
    }
}

// Compression 0 stores blue, green, red, unused; compression 3 is taken as
// unused, blue, green, red.
void decode32Row(const uint8_t* row, int32_t width, bool bitFields, uint8_t* out) {
    const uint8_t* p = bitFields ? row + 1 : row;
    for (int32_t x = 0; x < width; ++x) {
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
        p += 4;
        out += 3;
    }
}

struct BmpHeader {
    uint32_t pixelOffset;
    uint32_t infoSize;
    int32_t width;
    int32_t height;
    uint16_t bitsPerPixel;
    uint32_t compression;
};

bool readHeaders(FILE* stream, BmpHeader* header) {
    uint8_t fileHeader[bmpFileHeaderBytes];
    uint8_t info[bmpInfoHeaderBytes];
    if (!readExact(stream, fileHeader, sizeof fileHeader) || !readExact(stream, info, sizeof info))
        return false;
    header->pixelOffset = fieldU32(fileHeader + 10);
    header->infoSize = fieldU32(info);
    header->width = static_cast<int32_t>(fieldU32(info + 4));
    header->height = static_cast<int32_t>(fieldU32(info + 8));
    header->bitsPerPixel = fieldU16(info + 14);
    header->compression = fieldU32(info + 16);
    return true;
}

void decodeRow(const uint8_t* row, const BmpHeader& header, const Palette& palette, uint8_t* out) {
    switch (header.bitsPerPixel) {
    case 16:
        decode16Row(row, header.width, out);
        break;
    case 24:
        decode24Row(row, header.width, out);
        break;
    case 32:
        decode32Row(row, header.width, header.compression == 3, out);
        break;
    default:
        decodeIndexedRow(row, header.width, header.bitsPerPixel, palette, out);
        break;
    }
}

// Reads the stored rows into the block, the picture's top row first. The
// stream was checked to hold them, so the row buffer is no larger than the
// file.
bool readRows(FILE* stream, const BmpHeader& header, const RowLayout& layout, int32_t rows,
              const Palette& palette, uint8_t* pixels) {
    if (layout.storedBytes == 0 || rows == 0)
        return true;
    auto* row = static_cast<uint8_t*>(malloc(static_cast<size_t>(layout.storedBytes)));
    if (row == nullptr)
        return false;
    const bool topDown = header.height < 0;
    const size_t outRowBytes = static_cast<size_t>(header.width) * 3;
    const int64_t padding = layout.storedBytes - layout.dataBytes;
    for (int32_t i = 0; i < rows; ++i) {
        if (!readExact(stream, row, static_cast<size_t>(layout.dataBytes))) {
            free(row);
            return false;
        }
        if (padding > 0) { // a short padding read is not a failure
            const size_t got =
                fread(row + layout.dataBytes, 1, static_cast<size_t>(padding), stream);
            (void)got;
        }
        const int32_t destRow = topDown ? i : rows - 1 - i;
        decodeRow(row, header, palette, pixels + static_cast<size_t>(destRow) * outRowBytes);
    }
    free(row);
    return true;
}

// Everything decodeBmp settles before it allocates: the headers, the colour
// table, the depth, the size, and that the stream holds every stored row;
// the stream is then at the first stored row. False where decodeBmp fails.
struct BmpPlan {
    BmpHeader header;
    Palette palette;
    RowLayout layout;
    int32_t rows;
    int32_t blockBytes;
};

bool planBmp(const LoaderContext& ctx, BmpPlan* plan) {
    BmpHeader& header = plan->header;
    if (!readHeaders(ctx.stream, &header))
        return false;
    if (header.compression != 0 && header.compression != 3)
        return false;
    if (header.bitsPerPixel <= 8) {
        seekFromImageStart(ctx, static_cast<uint32_t>(bmpFileHeaderBytes) + header.infoSize);
        if (!readColourTable(ctx.stream, header.bitsPerPixel, &plan->palette))
            return false;
    }
    if (!isSupportedDepth(header.bitsPerPixel))
        return false;
    seekFromImageStart(ctx, header.pixelOffset);

    const bool topDown = header.height < 0;
    if (header.width < 0 || header.height == INT32_MIN)
        return false;
    plan->rows = topDown ? -header.height : header.height;
    plan->blockBytes = imageBytes(header.width, plan->rows, 3);
    if (plan->blockBytes < 0)
        return false;

    // An image without pixels reads no row, so its pixel-data offset may
    // point anywhere, past the end of the stream included.
    plan->layout = rowLayout(header.bitsPerPixel, header.width);
    const int64_t required = requiredPixelBytes(plan->layout, plan->rows);
    return required == 0 || bytesLeft(ctx) >= required;
}

} // namespace

uint8_t* decodeBmp(FILE* stream, int32_t imageStart, int32_t remainingLength, int32_t* width,
                   int32_t* height) {
    const LoaderContext ctx{stream, imageStart, imageStart + remainingLength};
    BmpPlan plan{};
    if (!planBmp(ctx, &plan))
        return failLoad(ctx);
    uint8_t* pixels = allocBlock(plan.blockBytes);
    if (pixels == nullptr)
        return failLoad(ctx);
    if (!readRows(stream, plan.header, plan.layout, plan.rows, plan.palette, pixels))
        return failLoad(ctx, pixels);
    *width = plan.header.width;
    *height = plan.rows;
    return pixels;
}

struct BmpRows {
    FILE* stream;
    BmpPlan plan;
    long firstStoredRow; // the stream position of the first stored row
    int32_t nextRow;     // from the top
    uint8_t* stored;     // room for a band of stored rows
    int32_t storedRows;
};

BmpRows* startBmpRows(FILE* stream, int32_t* width, int32_t* height) {
    const int32_t length = fileLength(stream);
    const long start = ftell(stream);
    if (length < 0 || start < 0 || start > length)
        return nullptr;
    const auto imageStart = static_cast<int32_t>(start);
    const LoaderContext ctx{stream, imageStart, length};
    auto* rows = static_cast<BmpRows*>(calloc(1, sizeof(BmpRows)));
    if (rows == nullptr)
        return nullptr;
    uint8_t signature[2];
    const bool bmp = readExact(stream, signature, sizeof signature) && signature[0] == 'B' &&
                     signature[1] == 'M' && fseek(stream, imageStart, SEEK_SET) == 0;
    if (!bmp || !planBmp(ctx, &rows->plan) || rows->plan.layout.storedBytes == 0 ||
        rows->plan.rows == 0) {
        (void)fseek(stream, imageStart, SEEK_SET);
        free(rows);
        return nullptr;
    }
    rows->stream = stream;
    rows->firstStoredRow = ftell(stream);
    *width = rows->plan.header.width;
    *height = rows->plan.rows;
    return rows;
}

// The stored rows of a band, the first `from` (in the file's order) and
// `count` of them, read in one piece: the padding of the file's last row
// may be missing, as decodeBmp allows.
bool readStoredRows(BmpRows* rows, int32_t from, int32_t count) {
    const RowLayout& layout = rows->plan.layout;
    if (count > rows->storedRows) {
        free(rows->stored);
        rows->stored = static_cast<uint8_t*>(
            malloc(static_cast<size_t>(layout.storedBytes) * static_cast<size_t>(count)));
        rows->storedRows = rows->stored != nullptr ? count : 0;
        if (rows->stored == nullptr)
            return false;
    }
    const int64_t at = rows->firstStoredRow + layout.storedBytes * from;
    const auto bytes = static_cast<size_t>(layout.storedBytes * (count - 1) + layout.dataBytes);
    return at <= LONG_MAX && fseek(rows->stream, static_cast<long>(at), SEEK_SET) == 0 &&
           readExact(rows->stream, rows->stored, bytes);
}

bool readBmpRows(BmpRows* rows, int32_t count, uint8_t* pixels) {
    const BmpPlan& plan = rows->plan;
    const int32_t left = plan.rows - rows->nextRow;
    const int32_t band = count < left ? count : left;
    if (band <= 0)
        return true;
    const bool topDown = plan.header.height < 0;
    const int32_t from = topDown ? rows->nextRow : plan.rows - rows->nextRow - band;
    if (!readStoredRows(rows, from, band))
        return false;
    const size_t outRowBytes = static_cast<size_t>(plan.header.width) * 3;
    for (int32_t i = 0; i < band; ++i) {
        const int32_t stored = topDown ? i : band - 1 - i;
        decodeRow(rows->stored + static_cast<size_t>(plan.layout.storedBytes) * stored, plan.header,
                  plan.palette, pixels + outRowBytes * static_cast<size_t>(i));
    }
    rows->nextRow += band;
    return true;
}

void endBmpRows(BmpRows* rows) {
    if (rows == nullptr)
        return;
    free(rows->stored);
    free(rows);
}
