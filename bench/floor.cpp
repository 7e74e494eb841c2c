// The benchmark's floor: the least a converter must do. Reads an
// uncompressed 24-bit BMP whole, turns every pixel into RGB565 by plain
// truncation, top row first, and writes the words raw (no header, no
// dithering, no checks beyond the header's shape).
//
// Usage: halvex-bench-floor INPUT.bmp OUTPUT.raw
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

uint32_t u32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s INPUT.bmp OUTPUT.raw\n", argv[0]);
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (in == nullptr) {
        perror(argv[1]);
        return 1;
    }
    fseek(in, 0, SEEK_END);
    const long length = ftell(in);
    fseek(in, 0, SEEK_SET);
    // malloc rather than a vector: no time spent zeroing what is overwritten.
    const size_t fileSize = length > 0 ? static_cast<size_t>(length) : 0;
    auto* file = static_cast<uint8_t*>(malloc(fileSize + 1));
    if (file == nullptr || fread(file, 1, fileSize, in) != fileSize) {
        perror(argv[1]);
        return 1;
    }
    fclose(in);
    if (fileSize < 54 || file[0] != 'B' || file[1] != 'M' || file[28] != 24) {
        fprintf(stderr, "%s: not a 24-bit BMP\n", argv[1]);
        return 1;
    }
    const uint32_t offset = u32(&file[10]);
    const int32_t width = static_cast<int32_t>(u32(&file[18]));
    const int32_t storedHeight = static_cast<int32_t>(u32(&file[22]));
    const int32_t height = storedHeight < 0 ? -storedHeight : storedHeight;
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    if (width <= 0 || offset + rowBytes * height > fileSize) {
        fprintf(stderr, "%s: truncated\n", argv[1]);
        return 1;
    }
    const size_t wordBytes = static_cast<size_t>(width) * height * 2;
    auto* words = static_cast<uint8_t*>(malloc(wordBytes));
    if (words == nullptr) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    uint8_t* out = words;
    for (int32_t y = 0; y < height; ++y) {
        const int32_t stored = storedHeight < 0 ? y : height - 1 - y;
        const uint8_t* p = &file[offset + rowBytes * stored];
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const unsigned word = ((p[2] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[0] >> 3);
            *out++ = static_cast<uint8_t>(word);
            *out++ = static_cast<uint8_t>(word >> 8);
        }
    }
    FILE* target = fopen(argv[2], "wb");
    if (target == nullptr) {
        perror(argv[2]);
        return 1;
    }
    const bool ok = fwrite(words, 1, wordBytes, target) == wordBytes;
    free(file);
    free(words);
    if (fclose(target) != 0 || !ok) {
        perror(argv[2]);
        return 1;
    }
    return 0;
}
