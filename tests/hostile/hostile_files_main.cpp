// hostile_files write DIRECTORY   writes the hostile files and large.tga
// hostile_files check-large FILE  checks an RGN/MBR file converted from
//                                 large.tga with --dither none
//                                 --green-compensation off
#include "hostile_files.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool writeFile(const std::string& path, const Bytes& bytes) {
    FILE* out = fopen(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return fclose(out) == 0 && written;
}

int writeAll(const std::string& directory) {
    for (const HostileFile& file : hostileFiles()) {
        if (!writeFile(directory + "/" + file.name, file.bytes))
            return 1;
        printf("%s\t%s\n", file.name.c_str(), file.what.c_str());
    }
    return writeFile(directory + "/large.tga", largeImage()) ? 0 : 1;
}

uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int checkLarge(const std::string& path) {
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    const size_t rowBytes = static_cast<size_t>(largeWidth) * 2;
    Bytes row(rowBytes);
    uint8_t header[48];
    int failures = 0;
    if (fread(header, 1, sizeof header, in) != sizeof header ||
        le32(header) != static_cast<uint32_t>(largeWidth) ||
        le32(header + 4) != static_cast<uint32_t>(largeHeight) ||
        le32(header + 8) != static_cast<uint32_t>(largeWidth) * largeHeight * 2) {
        fprintf(stderr, "bad header\n");
        failures++;
    }
    for (int32_t y = 0; y < largeHeight && failures < 10; ++y) {
        if (fread(row.data(), 1, rowBytes, in) != rowBytes) {
            fprintf(stderr, "file ends in row %d\n", y);
            failures++;
            break;
        }
        for (int32_t x = 0; x < largeWidth && failures < 10; ++x) {
            uint8_t rgb[3];
            largePixel(x, y, rgb);
            const unsigned expected = ((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3);
            const unsigned word = row[2 * x] | (row[2 * x + 1] << 8);
            if (word != expected) {
                fprintf(stderr, "pixel (%d, %d): %04x, expected %04x\n", x, y, word, expected);
                failures++;
            }
        }
    }
    if (fgetc(in) != EOF) {
        fprintf(stderr, "bytes after the last pixel\n");
        failures++;
    }
    fclose(in);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "write") == 0)
        return writeAll(argv[2]);
    if (argc == 3 && strcmp(argv[1], "check-large") == 0)
        return checkLarge(argv[2]);
    fprintf(stderr, "usage: hostile_files write DIRECTORY | check-large FILE\n");
    return 2;
}
