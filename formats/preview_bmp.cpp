#include "formats/preview_bmp.h"

#include "formats/png_encode.h"
#include "image/bmp_format.h"
#include "platform/byte_order.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr auto bmpHeadersBytes = static_cast<uint32_t>(bmpFileHeaderBytes + bmpInfoHeaderBytes);

// Both headers; 2835 pixels per metre is 72 dots per inch. Fields not set
// (reserved, compression, colour counts) stay zero.
void bmpHeaders(uint8_t headers[bmpHeadersBytes], int32_t width, int32_t height,
                uint32_t pixelBytes) {
    memset(headers, 0, bmpHeadersBytes);
    headers[0] = 'B';
    headers[1] = 'M';
    putFieldU32(headers + 2, bmpHeadersBytes + pixelBytes);
    putFieldU32(headers + 10, bmpHeadersBytes);
    uint8_t* info = headers + bmpFileHeaderBytes;
    putFieldU32(info, static_cast<uint32_t>(bmpInfoHeaderBytes));
    putFieldU32(info + 4, static_cast<uint32_t>(width));
    putFieldU32(info + 8, static_cast<uint32_t>(height));
    putFieldU16(info + 12, 1);  // planes
    putFieldU16(info + 14, 24); // bits per pixel
    putFieldU32(info + 20, pixelBytes);
    putFieldU32(info + 24, 2835);
    putFieldU32(info + 28, 2835);
}

uint16_t wordAt(const uint8_t* words) {
    return fieldU16(words);
}

// One stored row: blue, green, red per pixel, then zero padding.
void previewRow(const uint8_t* words, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, words += 2, out += 3) {
        uint8_t rgb[3];
        widenWord(wordAt(words), rgb);
        out[0] = rgb[2];
        out[1] = rgb[1];
        out[2] = rgb[0];
    }
}

// The 8-bit red, green, blue of one row of words.
void widenRow(const uint8_t* words, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, words += 2, out += 3)
        widenWord(wordAt(words), out);
}

bool endsWithPng(const char* name) {
    const size_t length = strlen(name);
    if (length < 4)
        return false;
    const char* end = name + length - 4;
    return end[0] == '.' && tolower(static_cast<unsigned char>(end[1])) == 'p' &&
           tolower(static_cast<unsigned char>(end[2])) == 'n' &&
           tolower(static_cast<unsigned char>(end[3])) == 'g';
}

} // namespace

void putPreviewBmp(OutputFile* file, int32_t width, int32_t height, const uint8_t* words) {
    if (width < 0 || height < 0) {
        failOutputFile(file, EINVAL);
        return;
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
    if (pixelBytes > UINT32_MAX - bmpHeadersBytes) {
        failOutputFile(file, EFBIG);
        return;
    }
    // Padding bytes stay zero; no row at all is needed for an empty picture.
    uint8_t* row = nullptr;
    if (pixelBytes > 0) {
        row = static_cast<uint8_t*>(calloc(static_cast<size_t>(rowBytes), 1));
        if (row == nullptr) {
            failOutputFile(file, ENOMEM);
            return;
        }
    }
    uint8_t headers[bmpHeadersBytes];
    bmpHeaders(headers, width, height, static_cast<uint32_t>(pixelBytes));
    writeOutputBytes(file, headers, sizeof headers);
    const size_t wordRowBytes = 2 * static_cast<size_t>(width);
    for (int32_t stored = 0; file->error == 0 && row != nullptr && stored < height; ++stored) {
        const int32_t y = height - 1 - stored;
        previewRow(words + static_cast<size_t>(y) * wordRowBytes, width, row);
        writeOutputBytes(file, row, static_cast<size_t>(rowBytes));
    }
    free(row);
}

void putPreviewPng(OutputFile* file, int32_t width, int32_t height, const uint8_t* words) {
    if (width < 0 || height < 0) {
        failOutputFile(file, EINVAL);
        return;
    }
    const uint64_t rgbBytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3;
    if (rgbBytes > SIZE_MAX / 2) {
        failOutputFile(file, EFBIG);
        return;
    }
    auto* rgb = static_cast<uint8_t*>(malloc(rgbBytes == 0 ? 1 : static_cast<size_t>(rgbBytes)));
    if (rgb == nullptr) {
        failOutputFile(file, ENOMEM);
        return;
    }
    const size_t wordRowBytes = 2 * static_cast<size_t>(width);
    for (int32_t y = 0; y < height; ++y)
        widenRow(words + static_cast<size_t>(y) * wordRowBytes, width,
                 rgb + static_cast<size_t>(y) * 3 * static_cast<size_t>(width));
    const std::vector<uint8_t> png = encodePngRgb(rgb, width, height);
    free(rgb);
    if (png.empty())
        failOutputFile(file, ENOMEM); // the encoder gives nothing only when memory runs out
    else
        writeOutputBytes(file, png.data(), png.size());
}

void putPreviewFile(OutputFile* file, const char* name, int32_t width, int32_t height,
                    const uint8_t* words) {
    if (endsWithPng(name))
        putPreviewPng(file, width, height, words);
    else
        putPreviewBmp(file, width, height, words);
}

Status writePreviewFile(const char* path, int32_t width, int32_t height, const uint8_t* words) {
    OutputFile file;
    if (succeeded(openOutputFile(&file, path)))
        putPreviewFile(&file, path, width, height, words);
    return commitOutputFile(&file);
}
