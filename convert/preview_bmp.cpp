#include "convert/preview_bmp.h"

#include "convert/target_file.h"
#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

// One stored row: blue, green, red per pixel, then zero padding.
void previewRow(const uint8_t* words, int32_t width, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x, words += 2, out += 3) {
        const uint32_t word = words[0] | (words[1] << 8);
        out[0] = widenFiveBits(word & 0x1F);
        out[1] = widenSixBits((word >> 5) & 0x3F);
        out[2] = widenFiveBits(word >> 11);
    }
}

int32_t fail(int* systemError, int code) {
    if (systemError != nullptr)
        *systemError = code;
    return -1;
}

} // namespace

int32_t writePreviewBmp(const char* path, int32_t width, int32_t height, const uint8_t* words,
                        int* systemError) {
    if (width < 0 || height < 0)
        return fail(systemError, EINVAL);
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
    if (pixelBytes > UINT32_MAX - fileHeaderBytes - infoHeaderBytes)
        return fail(systemError, EFBIG);
    // Padding bytes stay zero; no row at all is needed for an empty picture.
    uint8_t* row = nullptr;
    if (pixelBytes > 0) {
        row = static_cast<uint8_t*>(calloc(static_cast<size_t>(rowBytes), 1));
        if (row == nullptr)
            return fail(systemError, ENOMEM);
    }
    bool regular = false;
    FILE* stream = openTargetFile(path, &regular);
    if (stream == nullptr) {
        const int code = errno;
        free(row);
        return fail(systemError, code);
    }
    uint8_t headers[fileHeaderBytes + infoHeaderBytes];
    bmpHeaders(headers, width, height, static_cast<uint32_t>(pixelBytes));
    bool written = fwrite(headers, 1, sizeof headers, stream) == sizeof headers;
    const size_t wordRowBytes = 2 * static_cast<size_t>(width);
    for (int32_t stored = 0; written && row != nullptr && stored < height; ++stored) {
        const int32_t y = height - 1 - stored;
        previewRow(words + static_cast<size_t>(y) * wordRowBytes, width, row);
        written = fwrite(row, 1, rowBytes, stream) == rowBytes;
    }
    int code = written ? 0 : errno;
    if (fclose(stream) != 0 && written) {
        written = false;
        code = errno;
    }
    free(row);
    if (written)
        return 0;
    if (regular)
        (void)remove(path); // the run fails either way; this only tidies up
    return fail(systemError, code != 0 ? code : EIO);
}
