// Writes the benchmark picture: a 24-bit bottom-up BMP of smooth colour
// gradients with a little deterministic noise, so that every dither pass has
// real error to spread and no two runs differ.
//
// Usage: halvex-bench-image OUTPUT.bmp [WIDTH HEIGHT]   (default 4000 x 3000)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void putU16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    putU16(out, v & 0xFFFF);
    putU16(out, v >> 16);
}

std::vector<uint8_t> bmpHeaders(int32_t width, int32_t height, uint32_t rowBytes) {
    const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> h;
    h.push_back('B');
    h.push_back('M');
    putU32(h, 54 + pixelBytes);
    putU32(h, 0);
    putU32(h, 54);
    putU32(h, 40);
    putU32(h, static_cast<uint32_t>(width));
    putU32(h, static_cast<uint32_t>(height));
    putU16(h, 1);
    putU16(h, 24);
    putU32(h, 0);
    putU32(h, pixelBytes);
    putU32(h, 2835);
    putU32(h, 2835);
    putU32(h, 0);
    putU32(h, 0);
    return h;
}

uint8_t clampByte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        fprintf(stderr, "usage: %s OUTPUT.bmp [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    const int32_t width = argc == 4 ? atoi(argv[2]) : 4000;
    const int32_t height = argc == 4 ? atoi(argv[3]) : 3000;
    if (width <= 0 || height <= 0 || width > 20000 || height > 20000) {
        fprintf(stderr, "width and height must be 1 to 20000\n");
        return 2;
    }
    FILE* out = fopen(argv[1], "wb");
    if (out == nullptr) {
        perror(argv[1]);
        return 1;
    }
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const std::vector<uint8_t> headers = bmpHeaders(width, height, rowBytes);
    bool ok = fwrite(headers.data(), 1, headers.size(), out) == headers.size();
    std::vector<uint8_t> row(rowBytes, 0);
    uint32_t seed = 12345;
    // Stored bottom row first; y counts picture rows from the top.
    for (int32_t stored = 0; stored < height && ok; ++stored) {
        const int32_t y = height - 1 - stored;
        for (int32_t x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int32_t noise = static_cast<int32_t>((seed >> 24) % 9) - 4;
            const int32_t red = static_cast<int32_t>(255LL * x / width);
            const int32_t green = static_cast<int32_t>(255LL * y / height);
            const int32_t blue = static_cast<int32_t>(255LL * (x + y) / (width + height));
            uint8_t* p = &row[3 * static_cast<size_t>(x)];
            p[0] = clampByte(blue + noise);
            p[1] = clampByte(green + noise);
            p[2] = clampByte(red + noise);
        }
        ok = fwrite(row.data(), 1, rowBytes, out) == rowBytes;
    }
    if (fclose(out) != 0 || !ok) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
