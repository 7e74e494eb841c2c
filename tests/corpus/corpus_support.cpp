#include "corpus_support.h"

#include "image/image.h"
#include "platform/files.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef HALVEX_CORPUS_DIR
#define HALVEX_CORPUS_DIR ""
#endif

std::string corpusDirectory() {
    const char* fromEnvironment = getenv("HALVEX_CORPUS");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0')
        return fromEnvironment;
    return HALVEX_CORPUS_DIR;
}

bool corpusPresent() {
    const std::string directory = corpusDirectory();
    if (directory.empty())
        return false;
    std::ifstream manifest(directory + "/MANIFEST.tsv");
    return manifest.good();
}

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    return fields;
}

int toInt(const std::string& text) {
    char* end = nullptr;
    const long value = strtol(text.c_str(), &end, 10);
    return (end == text.c_str() || *end != '\0') ? -1 : static_cast<int>(value);
}

} // namespace

std::map<std::string, ManifestRow> readManifest(const std::string& directory) {
    std::map<std::string, ManifestRow> rows;
    std::ifstream in(directory + "/MANIFEST.tsv");
    std::string line;
    if (!std::getline(in, line))
        return rows;
    const std::vector<std::string> header = splitTabs(line);
    std::map<std::string, size_t> column;
    for (size_t i = 0; i < header.size(); ++i)
        column[header[i]] = i;
    for (const char* name : {"path", "bytes", "pillow_width", "pillow_height", "pillow_rgb_sha256"})
        if (column.count(name) == 0)
            return rows;
    while (std::getline(in, line)) {
        const std::vector<std::string> fields = splitTabs(line);
        if (fields.size() < header.size())
            continue;
        ManifestRow row;
        row.path = fields[column["path"]];
        row.bytes = toInt(fields[column["bytes"]]);
        row.referenceWidth = toInt(fields[column["pillow_width"]]);
        row.referenceHeight = toInt(fields[column["pillow_height"]]);
        row.referenceSha256 = fields[column["pillow_rgb_sha256"]];
        rows[row.path] = row;
    }
    return rows;
}

namespace {

constexpr uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t rotateRight(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void compressBlock(uint32_t state[8], const uint8_t block[64]) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = (static_cast<uint32_t>(block[4 * i]) << 24) |
               (static_cast<uint32_t>(block[4 * i + 1]) << 16) |
               (static_cast<uint32_t>(block[4 * i + 2]) << 8) | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 =
            rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 =
            rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    for (int i = 0; i < 8; ++i)
        v[i] = state[i];
    for (int i = 0; i < 64; ++i) {
        const uint32_t s1 = rotateRight(v[4], 6) ^ rotateRight(v[4], 11) ^ rotateRight(v[4], 25);
        const uint32_t choose = (v[4] & v[5]) ^ (~v[4] & v[6]);
        const uint32_t t1 = v[7] + s1 + choose + roundConstants[i] + w[i];
        const uint32_t s0 = rotateRight(v[0], 2) ^ rotateRight(v[0], 13) ^ rotateRight(v[0], 22);
        const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
        const uint32_t t2 = s0 + majority;
        v[7] = v[6];
        v[6] = v[5];
        v[5] = v[4];
        v[4] = v[3] + t1;
        v[3] = v[2];
        v[2] = v[1];
        v[1] = v[0];
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i)
        state[i] += v[i];
}

} // namespace

std::string sha256Hex(const uint8_t* data, size_t size) {
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    size_t offset = 0;
    for (; offset + 64 <= size; offset += 64)
        compressBlock(state, data + offset);
    uint8_t tail[128] = {};
    const size_t rest = size - offset;
    for (size_t i = 0; i < rest; ++i)
        tail[i] = data[offset + i];
    tail[rest] = 0x80;
    const size_t tailBlocks = rest + 9 <= 64 ? 1 : 2;
    const uint64_t bits = static_cast<uint64_t>(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailBlocks * 64 - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
    for (size_t b = 0; b < tailBlocks; ++b)
        compressBlock(state, tail + 64 * b);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint32_t word : state)
        for (int shift = 28; shift >= 0; shift -= 4)
            hex.push_back(digits[(word >> shift) & 0xF]);
    return hex;
}

Decoded decodeFile(const std::string& path) {
    Decoded result;
    FILE* stream = openRegularFile(path.c_str());
    if (stream == nullptr)
        return result;
    result.opened = true;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = loadImage(stream, &width, &height);
    fclose(stream);
    if (pixels == nullptr)
        return result;
    result.loaded = true;
    result.width = width;
    result.height = height;
    result.rgb.assign(pixels,
                      pixels + static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    free(pixels);
    return result;
}

Bytes flipRows(const Bytes& rgb, int32_t width, int32_t height) {
    Bytes flipped(rgb.size());
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int32_t y = 0; y < height; ++y)
        std::copy(rgb.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                  rgb.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes),
                  flipped.begin() + static_cast<std::ptrdiff_t>((height - 1 - y) * rowBytes));
    return flipped;
}

Bytes replicateFiveBitFields(const Bytes& rgb) {
    Bytes out(rgb.size());
    for (size_t i = 0; i < rgb.size(); ++i)
        out[i] = static_cast<uint8_t>(rgb[i] | (rgb[i] >> 5));
    return out;
}
