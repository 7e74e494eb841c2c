// Which reader a file goes to, by its first bytes, and what the standard
// readers share. TGA has no signature, so it is the reader of last resort,
// and only for a header that could be one; the formats people try that are
// not read are named by their own signatures.
#include "decode/decoders.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

bool startsWith(const uint8_t* data, size_t size, const char* prefix, size_t length) {
    return size >= length && memcmp(data, prefix, length) == 0;
}

bool isPng(const uint8_t* data, size_t size) {
    return startsWith(data, size, "\x89PNG\r\n\x1a\n", 8);
}

bool isJpeg(const uint8_t* data, size_t size) {
    return startsWith(data, size, "\xFF\xD8\xFF", 3);
}

bool isGif(const uint8_t* data, size_t size) {
    return startsWith(data, size, "GIF87a", 6) || startsWith(data, size, "GIF89a", 6);
}

// RIFF, a 32-bit size, then the form type WEBP.
bool isWebp(const uint8_t* data, size_t size) {
    return size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WEBP", 4) == 0;
}

// An ISO base media file ("ftyp" box at offset 4) whose brand is one of the
// HEIF family's: HEIC, AVIF and their image-sequence and generic brands.
bool isHeif(const uint8_t* data, size_t size) {
    if (size < 12 || memcmp(data + 4, "ftyp", 4) != 0)
        return false;
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc",
                                         "hevx", "mif1", "msf1", "avif", "avis"};
    return std::any_of(std::begin(brands), std::end(brands),
                       [data](const char* brand) { return memcmp(data + 8, brand, 4) == 0; });
}

// An SVG drawing is XML text: after an optional byte order mark and white
// space, "<svg" or an XML declaration or comment followed within the first
// kilobyte by "<svg".
bool isSvg(const uint8_t* data, size_t size) {
    size_t at = startsWith(data, size, "\xEF\xBB\xBF", 3) ? 3 : 0;
    while (at < size &&
           (data[at] == ' ' || data[at] == '\t' || data[at] == '\r' || data[at] == '\n'))
        ++at;
    if (at >= size || data[at] != '<')
        return false;
    const size_t end = size - at < 1024 ? size : at + 1024;
    for (size_t i = at; i + 4 <= end; ++i)
        if (memcmp(data + i, "<svg", 4) == 0)
            return true;
    return false;
}

// ICO and CUR: reserved 0, type 1 or 2, at least one entry. Checked after
// TGA, whose header can begin with the same bytes.
bool isIcon(const uint8_t* data, size_t size) {
    return size >= 6 && data[0] == 0 && data[1] == 0 && (data[2] == 1 || data[2] == 2) &&
           data[3] == 0 && (data[4] != 0 || data[5] != 0);
}

struct NamedFormat {
    const char* signature;
    size_t length;
    Reason reason; // cppcheck-suppress unusedStructMember ; read through find_if's result
};

const NamedFormat namedFormats[] = {
    {"II*\0", 4, Reason::TiffFile},
    {"MM\0*", 4, Reason::TiffFile},
    {"II+\0", 4, Reason::TiffFile}, // BigTIFF
    {"MM\0+", 4, Reason::TiffFile},
    {"8BPS", 4, Reason::PsdFile},
    {"%PDF-", 5, Reason::PdfFile},
    {"\0\0\0\x0CjP  \r\n\x87\n", 12, Reason::Jpeg2000File},
    {"\xFF\x4F\xFF\x51", 4, Reason::Jpeg2000File}, // a bare codestream
    {"\xFF\x0A", 2, Reason::JpegXlFile},
    {"\0\0\0\x0CJXL \r\n\x87\n", 12, Reason::JpegXlFile},
    {"qoif", 4, Reason::QoiFile},
};

// The reason for a file of a known format that is not read; None for any
// other.
Reason namedFormat(const uint8_t* data, size_t size) {
    const auto* found =
        std::find_if(std::begin(namedFormats), std::end(namedFormats), [&](const NamedFormat& f) {
            return startsWith(data, size, f.signature, f.length);
        });
    if (found != std::end(namedFormats))
        return found->reason;
    if (isHeif(data, size))
        return Reason::HeifFile;
    if (isSvg(data, size))
        return Reason::SvgFile;
    return Reason::None;
}

} // namespace

bool isBmp(const uint8_t* data, size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

bool isGeneralFormat(const uint8_t* data, size_t size) {
    return isPng(data, size) || isJpeg(data, size) || isGif(data, size) || isWebp(data, size);
}

bool compatibleCandidate(const uint8_t* data, size_t size) {
    if (isBmp(data, size))
        return true;
    if (size < 3 || isGeneralFormat(data, size) || namedFormat(data, size) != Reason::None)
        return false;
    const uint8_t type = data[2];
    return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
}

Reason decodeGeneral(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                     ColourSpace* colour, std::vector<Reason>* warnings) {
    if (isPng(data, size))
        return decodePng(data, size, maxPixels, out, colour);
    if (isJpeg(data, size))
        return decodeJpeg(data, size, maxPixels, out, colour, warnings);
    if (isGif(data, size))
        return decodeGif(data, size, maxPixels, out);
    if (isWebp(data, size))
        return decodeWebp(data, size, maxPixels, out, colour);
    return Reason::UnknownFormat;
}

Reason decodePicture(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out,
                     ColourSpace* colour, std::vector<Reason>* warnings) {
    if (isGeneralFormat(data, size))
        return decodeGeneral(data, size, maxPixels, out, colour, warnings);
    if (isBmp(data, size))
        return decodeStandardBmp(data, size, maxPixels, out);
    const Reason named = namedFormat(data, size);
    if (named != Reason::None)
        return named;
    if (plausibleTga(data, size))
        return decodeStandardTga(data, size, maxPixels, out);
    return isIcon(data, size) ? Reason::IconFile : Reason::UnknownFormat;
}

void opaqueUnlessAnyAlpha(uint8_t* rgba, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (rgba[4 * i + 3] != 0)
            return;
    for (size_t i = 0; i < count; ++i)
        rgba[4 * i + 3] = 255;
}

uint8_t* allocatePixels(int32_t width, int32_t height, bool cleared) {
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t bytes = count == 0 ? 1 : count * 4;
    return static_cast<uint8_t*>(cleared ? calloc(bytes, 1) : malloc(bytes));
}

namespace {

// Undoes the packing of the first `count` pixels, all opaque: back to front,
// since each pixel moves to a place at or after where it is.
void unpackOpaque(uint8_t* pixels, size_t count) {
    for (size_t i = count; i-- > 0;) {
        uint8_t* to = pixels + 4 * i;
        const uint8_t* from = pixels + 3 * i;
        const uint8_t red = from[0];
        const uint8_t green = from[1];
        const uint8_t blue = from[2];
        to[0] = red, to[1] = green, to[2] = blue, to[3] = 255;
    }
}

// Whether the four pixels from `from` are all opaque.
bool fourOpaque(const uint8_t* from) {
    return (from[3] & from[7] & from[11] & from[15]) == 255;
}

// Packs four opaque pixels; the twelve bytes written end before the
// sixteen read, which are all read first.
void packFour(const uint8_t* from, uint8_t* to) {
    const uint8_t rgb[12] = {from[0], from[1], from[2],  from[4],  from[5],  from[6],
                             from[8], from[9], from[10], from[12], from[13], from[14]};
    memcpy(to, rgb, sizeof rgb);
}

} // namespace

// One pass, four pixels at a time: pixels are packed while they are
// opaque; the first that is not undoes what was packed.
uint8_t* packOpaque(RgbaPicture* picture) {
    const size_t count = static_cast<size_t>(picture->width) * static_cast<size_t>(picture->height);
    uint8_t* pixels = picture->pixels;
    size_t i = 0;
    for (; i + 4 <= count && fourOpaque(pixels + 4 * i); i += 4)
        packFour(pixels + 4 * i, pixels + 3 * i);
    for (; i < count; ++i) {
        const uint8_t* from = pixels + 4 * i;
        if (from[3] != 255) {
            unpackOpaque(pixels, i);
            return nullptr;
        }
        const uint8_t red = from[0];
        const uint8_t green = from[1];
        const uint8_t blue = from[2];
        uint8_t* to = pixels + 3 * i;
        to[0] = red, to[1] = green, to[2] = blue;
    }
    // Shrinking keeps the block where it is or moves it whole; either way
    // the old block stays valid when realloc fails.
    void* shrunk = realloc(pixels, count == 0 ? 1 : count * 3);
    picture->pixels = nullptr;
    return shrunk != nullptr ? static_cast<uint8_t*>(shrunk) : pixels;
}

struct PictureRows {
    JpegRows* jpeg;
    PngRows* png;
};

Reason startPictureRows(const uint8_t* data, size_t size, int64_t maxPixels, ColourSpace* colour,
                        PictureRows** rows, int32_t* width, int32_t* height) {
    *rows = nullptr;
    PictureRows found{nullptr, nullptr};
    Reason reason = Reason::None;
    if (isJpeg(data, size))
        reason = startJpegRows(data, size, maxPixels, colour, &found.jpeg, width, height);
    else if (isPng(data, size))
        reason = startPngRows(data, size, maxPixels, colour, &found.png, width, height);
    if (found.jpeg == nullptr && found.png == nullptr)
        return reason;
    *rows = static_cast<PictureRows*>(malloc(sizeof(PictureRows)));
    if (*rows == nullptr) {
        endJpegRows(found.jpeg, nullptr);
        endPngRows(found.png);
        return Reason::OutOfMemory;
    }
    **rows = found;
    return Reason::None;
}

Reason readPictureRows(PictureRows* rows, int32_t count, uint8_t* pixels) {
    return rows->jpeg != nullptr ? readJpegRows(rows->jpeg, count, pixels)
                                 : readPngRows(rows->png, count, pixels);
}

void endPictureRows(PictureRows* rows, std::vector<Reason>* warnings) {
    if (rows == nullptr)
        return;
    endJpegRows(rows->jpeg, warnings);
    endPngRows(rows->png);
    free(rows);
}
