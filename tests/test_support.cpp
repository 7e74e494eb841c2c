#include "test_support.h"

#include "image/image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

void putU16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putU32(Bytes& out, uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

namespace {

Bytes encodeBmpRow(const BmpBuild& layout, const std::vector<uint32_t>& row) {
    Bytes out;
    const int bits = layout.bitsPerPixel;
    if (bits <= 8) {
        uint32_t acc = 0;
        int filled = 0;
        for (uint32_t v : row) {
            acc = (acc << bits) | v;
            filled += bits;
            if (filled == 8) {
                out.push_back(static_cast<uint8_t>(acc));
                acc = 0;
                filled = 0;
            }
        }
        if (filled > 0)
            out.push_back(static_cast<uint8_t>(acc << (8 - filled)));
    } else {
        for (uint32_t v : row) {
            if (bits == 16) {
                putU16(out, v);
            } else if (bits == 24) {
                out.push_back(static_cast<uint8_t>(v));
                out.push_back(static_cast<uint8_t>(v >> 8));
                out.push_back(static_cast<uint8_t>(v >> 16));
            } else {
                putU32(out, v);
            }
        }
    }
    while (out.size() % 4 != 0)
        out.push_back(0);
    return out;
}

} // namespace

Bytes buildBmp(const BmpBuild& layout) {
    Bytes table;
    for (uint32_t rgb : layout.palette) {
        table.push_back(static_cast<uint8_t>(rgb));
        table.push_back(static_cast<uint8_t>(rgb >> 8));
        table.push_back(static_cast<uint8_t>(rgb >> 16));
        table.push_back(0);
    }
    const uint32_t pixelOffset =
        14 + layout.infoSize + static_cast<uint32_t>(table.size()) + layout.gap;
    Bytes out = {'B', 'M'};
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, pixelOffset);
    putU32(out, layout.infoSize);
    putU32(out, static_cast<uint32_t>(layout.width));
    putU32(out, static_cast<uint32_t>(layout.height));
    putU16(out, 1);
    putU16(out, layout.bitsPerPixel);
    putU32(out, layout.compression);
    putU32(out, 0);
    putU32(out, 2835);
    putU32(out, 2835);
    putU32(out, layout.coloursUsed);
    putU32(out, 0);
    out.resize(14 + layout.infoSize, 0);
    out.insert(out.end(), table.begin(), table.end());
    out.resize(pixelOffset, 0xEE);
    for (const auto& row : layout.rows) {
        const Bytes encoded = encodeBmpRow(layout, row);
        out.insert(out.end(), encoded.begin(), encoded.end());
    }
    return out;
}

Bytes buildTga(const TgaBuild& layout) {
    Bytes out;
    out.push_back(layout.idLength);
    out.push_back(layout.colourMapType);
    out.push_back(layout.imageType);
    putU16(out, layout.colourMapFirst);
    putU16(out, static_cast<uint32_t>(layout.colourMap.size()));
    out.push_back(layout.colourMapEntryBits);
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, layout.width);
    putU16(out, layout.height);
    out.push_back(layout.pixelDepth);
    out.push_back(layout.descriptor);
    for (int i = 0; i < layout.idLength; ++i)
        out.push_back(static_cast<uint8_t>(0xA0 + i));
    for (uint32_t rgb : layout.colourMap) {
        out.push_back(static_cast<uint8_t>(rgb));
        out.push_back(static_cast<uint8_t>(rgb >> 8));
        out.push_back(static_cast<uint8_t>(rgb >> 16));
    }
    out.insert(out.end(), layout.pixelData.begin(), layout.pixelData.end());
    if (layout.footer) {
        putU32(out, 0);
        putU32(out, 0);
        const char* signature = "TRUEVISION-XFILE.";
        out.insert(out.end(), signature, signature + 18); // with its NUL
    }
    return out;
}

LoadResult loadBytes(const Bytes& image, size_t prefix, const Bytes& suffix) {
    LoadResult result;
    FILE* stream = tmpfile();
    if (stream == nullptr)
        return result;
    const Bytes padding(prefix, 0x5A);
    for (const Bytes* part : {&padding, &image, &suffix}) {
        if (!part->empty())
            fwrite(part->data(), 1, part->size(), stream);
    }
    fflush(stream);
    fseek(stream, 0, SEEK_END);
    result.streamLength = ftell(stream);
    fseek(stream, static_cast<long>(prefix), SEEK_SET);
    uint8_t* pixels = loadImage(stream, &result.width, &result.height);
    result.endPosition = ftell(stream);
    if (pixels != nullptr) {
        result.ok = true;
        const size_t bytes = static_cast<size_t>(result.width) * result.height * 3;
        result.pixels.assign(pixels, pixels + bytes);
        free(pixels);
    }
    fclose(stream);
    return result;
}

Bytes rgbOf(const std::vector<uint32_t>& pixels) {
    Bytes out;
    for (uint32_t rgb : pixels) {
        out.push_back(static_cast<uint8_t>(rgb >> 16));
        out.push_back(static_cast<uint8_t>(rgb >> 8));
        out.push_back(static_cast<uint8_t>(rgb));
    }
    return out;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "halvex-test-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    path = made != nullptr ? made : "";
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

Bytes readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}
