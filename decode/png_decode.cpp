// PNG through libspng. A PNG file is the 8-byte signature and chunks (length,
// type, data, CRC): IHDR first (size, bit depth 1-16, colour type grey,
// RGB, palette, grey+alpha or RGBA, interlace), PLTE, tRNS (palette alphas
// or the one transparent grey or RGB value), colour chunks (sRGB; iCCP, an
// ICC profile; gAMA and cHRM), IDAT (one zlib stream across the chunks,
// each row a filter byte and its samples), IEND. Every colour type and
// depth is read to 8-bit RGBA with tRNS applied, 16-bit samples by their
// high byte as other readers do; an animated PNG gives its default image.
//
// Bounded by the header: the size is checked against the pixel limit before
// anything is allocated, rows are inflated one at a time into the picture's
// own block and no further, and ancillary chunks are capped. A deflate
// stream spends at most about two bytes on a byte it encodes (fifteen-bit
// codes at worst), so image data far larger than that is more than the
// picture: such a file, a decompression bomb or not, is refused as damaged
// without inflating the excess.
#include "decode/decoders.h"

#include "platform/byte_order.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <spng.h>

namespace {

// The most any one ancillary chunk, and all of them together, may hold: a
// large ICC profile is a few hundred kilobytes.
constexpr size_t chunkLimit = size_t{8} << 20;
constexpr size_t ancillaryLimit = size_t{32} << 20;
constexpr int chunkCountLimit = 4096;

constexpr size_t signatureBytes = 8;
constexpr uint64_t imageDataSlack = 65536;

// The filtered image data's size: each row a filter byte and its packed
// samples; an interlaced picture's passes at most double the rows.
uint64_t filteredBytes(const spng_ihdr& ihdr) {
    static const unsigned samples[] = {1, 0, 3, 1, 2, 0, 4};
    const uint64_t bits = static_cast<uint64_t>(ihdr.bit_depth) * samples[ihdr.color_type % 7];
    const uint64_t rowBytes = 2 + (static_cast<uint64_t>(ihdr.width) * bits + 7) / 8;
    const uint64_t passes = ihdr.interlace_method != 0 ? 2 : 1;
    return static_cast<uint64_t>(ihdr.height) * passes * rowBytes;
}

// The sum of the IDAT chunks' lengths; the chunks have been checked.
uint64_t imageDataBytes(const uint8_t* data, size_t size) {
    uint64_t total = 0;
    size_t at = signatureBytes;
    while (size - at >= 12) {
        const uint32_t length = fieldU32BigEndian(data + at);
        if (length > size - at - 12)
            break;
        if (memcmp(data + at + 4, "IDAT", 4) == 0)
            total += length;
        at += 12 + size_t{length};
    }
    return total;
}

Reason reasonFor(int error) {
    switch (error) {
    case SPNG_IO_EOF:
    case SPNG_EOF:
    case SPNG_EIDAT_TOO_SHORT:
        return Reason::CutShort;
    case SPNG_EUSER_WIDTH:
    case SPNG_EUSER_HEIGHT:
        return Reason::TooManyPixels;
    case SPNG_EMEM:
        return Reason::OutOfMemory;
    default:
        return Reason::DamagedPicture;
    }
}

// The colour space the chunks declare: sRGB means the default, an ICC
// profile says it all, otherwise gAMA and cHRM where present.
void readColourSpace(spng_ctx* ctx, ColourSpace* colour) {
    uint8_t intent = 0;
    if (spng_get_srgb(ctx, &intent) == 0)
        return;
    spng_iccp iccp{};
    if (spng_get_iccp(ctx, &iccp) == 0 && iccp.profile != nullptr) {
        const auto* profile = reinterpret_cast<const uint8_t*>(iccp.profile);
        colour->iccProfile.assign(profile, profile + iccp.profile_len);
        return;
    }
    double gamma = 0;
    if (spng_get_gama(ctx, &gamma) == 0 && gamma > 0) {
        colour->hasGamma = true;
        colour->gamma = static_cast<uint32_t>(std::lround(gamma * 100000));
    }
    spng_chrm_int chrm{};
    if (spng_get_chrm_int(ctx, &chrm) == 0) {
        colour->hasChromaticities = true;
        const uint32_t values[8] = {chrm.white_point_x, chrm.white_point_y, chrm.red_x,
                                    chrm.red_y,         chrm.green_x,       chrm.green_y,
                                    chrm.blue_x,        chrm.blue_y};
        for (int i = 0; i < 8; ++i)
            colour->chromaticities[i] = values[i];
    }
}

// Rows in the order the file stores them (seven passes when interlaced),
// each inflated straight into its place in the picture.
int decodeRows(spng_ctx* ctx, uint8_t* pixels, size_t rowBytes) {
    int error = spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGBA8,
                                  SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
    if (error != 0)
        return error;
    spng_row_info row{};
    do {
        error = spng_get_row_info(ctx, &row);
        if (error != 0)
            break;
        error = spng_decode_row(ctx, pixels + row.row_num * rowBytes, rowBytes);
    } while (error == 0);
    return error == SPNG_EOI ? 0 : error;
}

// Sets the limits, reads the header and checks the size and the amount of
// image data, before anything is allocated for the pixels.
Reason startDecoding(spng_ctx* ctx, const uint8_t* data, size_t size, int64_t maxPixels,
                     spng_ihdr* ihdr) {
    const auto sideLimit = static_cast<uint32_t>(maxPixels < INT32_MAX ? maxPixels : INT32_MAX);
    spng_set_image_limits(ctx, sideLimit, sideLimit);
    spng_set_chunk_limits(ctx, chunkLimit, ancillaryLimit);
    spng_set_option(ctx, SPNG_CHUNK_COUNT_LIMIT, chunkCountLimit);
    spng_set_crc_action(ctx, SPNG_CRC_ERROR, SPNG_CRC_ERROR);
    int error = spng_set_png_buffer(ctx, data, size);
    if (error == 0)
        error = spng_get_ihdr(ctx, ihdr);
    if (error != 0)
        return reasonFor(error);
    if (int64_t{ihdr->width} * ihdr->height > maxPixels)
        return Reason::TooManyPixels;
    if (imageDataBytes(data, size) > 2 * filteredBytes(*ihdr) + imageDataSlack)
        return Reason::DamagedPicture;
    return Reason::None;
}

// The rest of the file up to IEND: the last IDAT's CRC, and chunks that
// come after the pixels, are checked too.
int checkTrailingChunks(spng_ctx* ctx, int error) {
    return error == 0 ? spng_decode_chunks(ctx) : error;
}

Reason decodeWith(spng_ctx* ctx, const uint8_t* data, size_t size, int64_t maxPixels,
                  RgbaPicture* out, ColourSpace* colour) {
    spng_ihdr ihdr{};
    const Reason started = startDecoding(ctx, data, size, maxPixels, &ihdr);
    if (started != Reason::None)
        return started;
    const auto width = static_cast<int32_t>(ihdr.width);
    const auto height = static_cast<int32_t>(ihdr.height);
    uint8_t* pixels = allocatePixels(width, height, false);
    if (pixels == nullptr)
        return Reason::OutOfMemory;
    const int error =
        checkTrailingChunks(ctx, decodeRows(ctx, pixels, static_cast<size_t>(width) * 4));
    if (error != 0) {
        free(pixels);
        return reasonFor(error);
    }
    if (colour != nullptr)
        readColourSpace(ctx, colour);
    *out = RgbaPicture{width, height, pixels};
    return Reason::None;
}

// Whether the rows come out final, in order and opaque: not interlaced,
// no alpha channel and no transparent colour.
bool readsByRows(spng_ctx* ctx, const spng_ihdr& ihdr) {
    spng_trns trns{};
    const bool alpha = ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                       ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    return ihdr.interlace_method == 0 && !alpha && spng_get_trns(ctx, &trns) != 0;
}

} // namespace

Reason decodePng(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                 ColourSpace* colour) {
    spng_ctx* ctx = spng_ctx_new(0);
    if (ctx == nullptr)
        return Reason::OutOfMemory;
    const Reason reason = decodeWith(ctx, data, size, maxPixels, out, colour);
    spng_ctx_free(ctx);
    return reason;
}

struct PngRows {
    spng_ctx* ctx;
    size_t rowBytes;
    uint32_t rowsLeft;
    Reason failure;
};

Reason startPngRows(const uint8_t* data, size_t size, int64_t maxPixels, ColourSpace* colour,
                    PngRows** rows, int32_t* width, int32_t* height) {
    *rows = nullptr;
    spng_ctx* ctx = spng_ctx_new(0);
    auto* made = static_cast<PngRows*>(malloc(sizeof(PngRows)));
    if (ctx == nullptr || made == nullptr) {
        spng_ctx_free(ctx);
        free(made);
        return Reason::OutOfMemory;
    }
    spng_ihdr ihdr{};
    Reason reason = startDecoding(ctx, data, size, maxPixels, &ihdr);
    if (reason == Reason::None && readsByRows(ctx, ihdr)) {
        if (colour != nullptr)
            readColourSpace(ctx, colour);
        const int error =
            spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGB8, SPNG_DECODE_PROGRESSIVE);
        if (error == 0) {
            *made = PngRows{ctx, size_t{3} * ihdr.width, ihdr.height, Reason::None};
            *rows = made;
            *width = static_cast<int32_t>(ihdr.width);
            *height = static_cast<int32_t>(ihdr.height);
            return Reason::None;
        }
        reason = reasonFor(error);
    }
    spng_ctx_free(ctx);
    free(made);
    return reason;
}

// The last row's decoding ends with SPNG_EOI; the chunks after the pixels
// are then checked as when the picture is read whole.
Reason readPngRows(PngRows* rows, int32_t count, uint8_t* pixels) {
    for (int32_t i = 0; i < count && rows->rowsLeft > 0 && rows->failure == Reason::None; ++i) {
        int error = spng_decode_row(rows->ctx, pixels + rows->rowBytes * static_cast<size_t>(i),
                                    rows->rowBytes);
        --rows->rowsLeft;
        if (error == SPNG_EOI && rows->rowsLeft == 0)
            error = checkTrailingChunks(rows->ctx, 0);
        if (error != 0)
            rows->failure = reasonFor(error);
    }
    return rows->failure;
}

void endPngRows(PngRows* rows) {
    if (rows == nullptr)
        return;
    spng_ctx_free(rows->ctx);
    free(rows);
}
