#include "formats/preview_bmp.h"

#include "formats/png_encode.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t fileHeaderBytes = 14;
constexpr uint32_t infoHeaderBytes = 40;

void putU16(uint8_t*& out, uint32_t value) {
    *out++ = static_cast<uint8_t>(value);
    *out++ = static_cast<uint8_t>(value >> 8);
}

void putU32(uint8_t*& out, uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

// Both headers; 2835 pixels per metre is 72 dots per inch.
void bmpHeaders(uint8_t* out, int32_t width, int32_t height, uint32_t pixelBytes) {
    *out++ = 'B';
    *out++ = 'M';
    putU32(out, fileHeaderBytes + infoHeaderBytes + pixelBytes);
    putU32(out, 0);
    putU32(out, fileHeaderBytes + infoHeaderBytes);
    putU32(out, infoHeaderBytes);
    putU32(out, static_cast<uint32_t>(width));
    putU32(out, static_cast<uint32_t>(height));
    putU16(out, 1);
    putU16(out, 24);
    putU32(out, 0);
    putU32(out, pixelBytes);
    putU32(out, 2835);
    putU32(out, 2835);
    putU32(out, 0);
    putU32(out, 0);
}

// The 8-bit red, green and blue of one pixel word.
void widenWord(uint32_t word, uint8_t rgb[3]) {
    rgb[0] = widenFiveBits(word >> 11);
    rgb[1] = widenSixBits((word >> 5) & 0x3F);
    rgb[2] = widenFiveBits(word & 0x1F);
}

// One stored row: blue, green, red per pixel, then zero padding.
void previewRow(const uint8_t* words, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, words += 2, out += 3) {
        uint8_t rgb[3];
        widenWord(words[0] | (words[1] << 8), rgb);
        out[0] = rgb[2];
        out[1] = rgb[1];
        out[2] = rgb[0];
    }
}

// The 8-bit red, green, blue of one row of words.
void widenRow(const uint8_t* words, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, words += 2, out += 3)
        widenWord(words[0] | (words[1] << 8), out);
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
    if (pixelBytes > UINT32_MAX - fileHeaderBytes - infoHeaderBytes) {
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
    uint8_t headers[fileHeaderBytes + infoHeaderBytes];
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
