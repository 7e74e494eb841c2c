// Writes small BMP and TGA files covering every depth, image type and
// storage order that the loader knows, as seeds for the harnesses:
// fuzz_seed_builder OUTPUT_DIRECTORY
#include "test_support.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::vector<uint32_t>> pattern(int32_t width, int32_t rows, uint32_t modulus) {
    std::vector<std::vector<uint32_t>> out(static_cast<size_t>(rows));
    uint32_t next = 0x123456;
    for (auto& row : out) {
        for (int32_t x = 0; x < width; ++x) {
            next = next * 1103515245u + 12345u;
            row.push_back(modulus == 0 ? (next >> 8) : (next >> 8) % modulus);
        }
    }
    return out;
}

std::vector<uint32_t> greyPalette(int entries) {
    std::vector<uint32_t> palette;
    for (int i = 0; i < entries; ++i) {
        const uint32_t v = static_cast<uint32_t>(i * 255 / (entries > 1 ? entries - 1 : 1));
        palette.push_back((v << 16) | ((255 - v) << 8) | (v / 2));
    }
    return palette;
}

void addBmps(std::vector<std::pair<std::string, Bytes>>& seeds) {
    const struct {
        uint16_t bits;
        uint32_t compression;
        int32_t width;
        int32_t height;
    } cases[] = {
        {1, 0, 9, 3},  {4, 0, 5, 3},   {8, 0, 5, -3}, {8, 3, 3, 2},   {16, 0, 3, 2}, {16, 3, 4, 2},
        {24, 0, 1, 2}, {24, 0, 3, -2}, {32, 0, 2, 2}, {32, 3, 2, -2}, {24, 0, 0, 5}, {8, 0, 4, 0},
    };
    for (const auto& c : cases) {
        BmpBuild layout;
        layout.width = c.width;
        layout.height = c.height;
        layout.bitsPerPixel = c.bits;
        layout.compression = c.compression;
        if (c.bits <= 8)
            layout.palette = greyPalette(1 << c.bits);
        const uint32_t modulus = c.bits <= 8 ? (1u << c.bits) : c.bits == 16 ? 0x10000u : 0;
        layout.rows = pattern(c.width, c.height < 0 ? -c.height : c.height, modulus);
        const std::string name = "bmp" + std::to_string(c.bits) + "-c" +
                                 std::to_string(c.compression) + "-" + std::to_string(c.width) +
                                 "x" + std::to_string(c.height);
        seeds.emplace_back(name, buildBmp(layout));
    }
    BmpBuild later;
    later.width = 3;
    later.height = 2;
    later.bitsPerPixel = 8;
    later.infoSize = 124;
    later.gap = 12;
    later.palette = greyPalette(256);
    later.rows = pattern(3, 2, 256);
    seeds.emplace_back("bmp8-info124-gap", buildBmp(later));
}

Bytes runLengthPackets(int32_t width, int32_t height, int valueBytes) {
    Bytes out;
    for (int32_t y = 0; y < height; ++y) {
        // One run of two, then raw packets of the rest, split across widths.
        out.push_back(0x81);
        for (int i = 0; i < valueBytes; ++i)
            out.push_back(static_cast<uint8_t>(0x40 + y + i));
        const int32_t rest = width - 2;
        if (rest > 0) {
            out.push_back(static_cast<uint8_t>(rest - 1));
            for (int32_t i = 0; i < rest * valueBytes; ++i)
                out.push_back(static_cast<uint8_t>(i * 37 + y));
        }
    }
    return out;
}

void addTgas(std::vector<std::pair<std::string, Bytes>>& seeds) {
    for (uint8_t type : {1, 2, 3, 9, 10, 11}) {
        for (uint8_t descriptor : {0x00, 0x20}) {
            TgaBuild layout;
            layout.imageType = type;
            layout.width = 5;
            layout.height = 3;
            layout.descriptor = descriptor;
            layout.idLength = descriptor == 0 ? 0 : 4;
            const int valueBytes = (type == 2 || type == 10) ? 3 : 1;
            layout.pixelDepth = static_cast<uint8_t>(valueBytes * 8);
            if (type == 1 || type == 9) {
                layout.colourMapType = 1;
                layout.colourMap = greyPalette(8);
            }
            if (type >= 9) {
                layout.pixelData = runLengthPackets(layout.width, layout.height, valueBytes);
            } else {
                for (int i = 0; i < layout.width * layout.height * valueBytes; ++i)
                    layout.pixelData.push_back(static_cast<uint8_t>(type == 1 ? i % 8 : i * 29));
            }
            seeds.emplace_back("tga" + std::to_string(type) + "-d" + std::to_string(descriptor),
                               buildTga(layout));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_seed_builder OUTPUT_DIRECTORY\n");
        return 2;
    }
    std::vector<std::pair<std::string, Bytes>> seeds;
    addBmps(seeds);
    addTgas(seeds);
    for (const auto& [name, bytes] : seeds)
        writeFileBytes(std::string(argv[1]) + "/" + name, bytes);
    printf("%zu seed files\n", seeds.size());
    return 0;
}
