#include "hostile_files.h"

#include "test_support.h"

namespace {

// File header and 40-byte info header; the pixel data starts right after
// them and the colour table (for 8 bits per pixel or fewer).
Bytes bmpHeaders(int32_t width, int32_t height, uint16_t bits) {
    const uint32_t table = bits <= 8 ? (4u << bits) : 0;
    Bytes out = {'B', 'M'};
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 54 + table);
    putU32(out, 40);
    putU32(out, static_cast<uint32_t>(width));
    putU32(out, static_cast<uint32_t>(height));
    putU16(out, 1);
    putU16(out, bits);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 2835);
    putU32(out, 2835);
    putU32(out, 0);
    putU32(out, 0);
    out.resize(out.size() + table, 0x80);
    return out;
}

Bytes withFiller(Bytes out, size_t total) {
    for (size_t i = out.size(); i < total; ++i)
        out.push_back(static_cast<uint8_t>(i * 7));
    return out;
}

Bytes tgaHeader(uint8_t type, uint16_t width, uint16_t height, uint8_t depth) {
    Bytes out = {0, 0, type, 0, 0, 0, 0, 0};
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, width);
    putU16(out, height);
    out.push_back(depth);
    out.push_back(0x20);
    return out;
}

void putFooter(Bytes& out) {
    putU32(out, 0);
    putU32(out, 0);
    const char signature[] = "TRUEVISION-XFILE.";
    out.insert(out.end(), signature, signature + sizeof signature); // with the NUL
}

// Header, then run packets of 128 pixels for as far as bytes allow, then
// the footer.
Bytes tgaRunLength(uint8_t type, uint16_t width, uint16_t height, size_t packets) {
    Bytes out = tgaHeader(type, width, height, type == 10 ? 24 : 8);
    const int valueBytes = type == 10 ? 3 : 1;
    for (size_t i = 0; i < packets; ++i) {
        out.push_back(0xFF);
        for (int b = 0; b < valueBytes; ++b)
            out.push_back(static_cast<uint8_t>(i + b));
    }
    putFooter(out);
    return out;
}

Bytes tgaRaw(uint16_t width, uint16_t height, size_t dataBytes) {
    Bytes out = withFiller(tgaHeader(2, width, height, 24), 18 + dataBytes);
    putFooter(out);
    return out;
}

} // namespace

std::vector<HostileFile> hostileFiles() {
    // 32768 x 21846 x 3 = 2^31 + 65536; one row fewer stays just below 2^31.
    return {
        {"bmp-24bit-30000x30000.bmp", "24-bit BMP of 30000 x 30000 in 154 bytes",
         withFiller(bmpHeaders(30000, 30000, 24), 154)},
        {"bmp-1bit-30000x30000.bmp", "1-bit BMP of 30000 x 30000 in 154 bytes",
         withFiller(bmpHeaders(30000, 30000, 1), 154)},
        {"bmp-8bit-30000x-30000.bmp", "top-down 8-bit BMP of 30000 x 30000 in 1200 bytes",
         withFiller(bmpHeaders(30000, -30000, 8), 1200)},
        {"bmp-past-2gib.bmp", "24-bit BMP whose pixel block is just past 2^31 bytes",
         withFiller(bmpHeaders(32768, 21846, 24), 4096)},
        {"bmp-below-2gib.bmp", "24-bit BMP whose pixel block is just below 2^31 bytes",
         withFiller(bmpHeaders(32768, 21845, 24), 4096)},
        {"bmp-8000x6000-short.bmp", "24-bit BMP of 8000 x 6000 with one row of data",
         withFiller(bmpHeaders(8000, 6000, 24), 54 + 24000)},
        {"tga-raw-65535x65535.tga", "raw true-colour TGA of 65535 x 65535",
         tgaRaw(65535, 65535, 1000)},
        {"tga-raw-16384x16384.tga", "raw true-colour TGA of 16384 x 16384 (fits 32 bits)",
         tgaRaw(16384, 16384, 1000)},
        {"tga-rle-65535x65535.tga", "run-length true-colour TGA of 65535 x 65535",
         tgaRunLength(10, 65535, 65535, 250)},
        {"tga-rle-grey-65535x65535.tga", "run-length grey TGA of 65535 x 65535",
         tgaRunLength(11, 65535, 65535, 500)},
        {"tga-rle-grey-16384x16384.tga", "run-length grey TGA of 16384 x 16384 (fits 32 bits)",
         tgaRunLength(11, 16384, 16384, 500)},
    };
}

void largePixel(int32_t x, int32_t y, uint8_t rgb[3]) {
    rgb[0] = static_cast<uint8_t>(x >> 5);
    rgb[1] = static_cast<uint8_t>(y);
    rgb[2] = static_cast<uint8_t>((x >> 5) ^ (y >> 3));
}

Bytes largeImage() {
    // Runs of 32 pixels share a colour: 250 run packets per row.
    Bytes out = tgaHeader(10, largeWidth, largeHeight, 24);
    out.reserve(out.size() + static_cast<size_t>(largeHeight) * 250 * 4 + 26);
    for (int32_t y = 0; y < largeHeight; ++y) {
        for (int32_t x = 0; x < largeWidth; x += 32) {
            uint8_t rgb[3];
            largePixel(x, y, rgb);
            out.push_back(0x80 | 31);
            out.push_back(rgb[2]);
            out.push_back(rgb[1]);
            out.push_back(rgb[0]);
        }
    }
    putFooter(out);
    return out;
}
