#include "test_support.h"

#include "image/image.h"

#include <algorithm>
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
    const uint32_t maskBytes = static_cast<uint32_t>(4 * layout.masks.size());
    const uint32_t masksAfterHeader = layout.infoSize < 40 + maskBytes ? maskBytes : 0;
    const uint32_t pixelOffset =
        14 + layout.infoSize + masksAfterHeader + static_cast<uint32_t>(table.size()) + layout.gap;
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
    out.resize(14 + layout.infoSize + masksAfterHeader, 0);
    for (size_t i = 0; i < layout.masks.size(); ++i)
        for (int b = 0; b < 4; ++b)
            out[54 + 4 * i + b] = static_cast<uint8_t>(layout.masks[i] >> (8 * b));
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

namespace {

void putBigEndian32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t crcOf(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putChunk(Bytes& out, const char* type, const Bytes& data) {
    putBigEndian32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian32(out, crcOf(out.data() + start, out.size() - start));
}

// zlib stream of stored deflate blocks.
Bytes storedZlib(const Bytes& raw) {
    Bytes out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(raw.size() - at, 65535);
        out.push_back(at + n == raw.size() ? 1 : 0);
        putU16(out, static_cast<uint32_t>(n));
        putU16(out, static_cast<uint32_t>(~n & 0xFFFF));
        out.insert(out.end(), raw.begin() + static_cast<long>(at),
                   raw.begin() + static_cast<long>(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian32(out, (b << 16) | a);
    return out;
}

} // namespace

Bytes buildPng(const PngBuild& layout) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putBigEndian32(header, layout.width);
    putBigEndian32(header, layout.height);
    header.insert(header.end(), {layout.bitDepth, layout.colourType, 0, 0, 0});
    putChunk(out, "IHDR", header);
    if (!layout.palette.empty())
        putChunk(out, "PLTE", layout.palette);
    if (!layout.transparency.empty())
        putChunk(out, "tRNS", layout.transparency);
    Bytes raw;
    for (const Bytes& row : layout.rows) {
        raw.push_back(0);
        raw.insert(raw.end(), row.begin(), row.end());
    }
    putChunk(out, "IDAT", storedZlib(raw));
    putChunk(out, "IEND", {});
    return out;
}

// Codes of 3 bits: every index is sent right after a clear code, so the
// code table never grows and no code is ever wider.
Bytes buildGif(const GifBuild& layout) {
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    putU16(out, layout.width);
    putU16(out, layout.height);
    out.insert(out.end(), {0xF1, 0, 0}); // global table of 4 entries
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t rgb = i < layout.palette.size() ? layout.palette[i] : 0;
        out.insert(out.end(), {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                               static_cast<uint8_t>(rgb)});
    }
    if (layout.transparentIndex >= 0)
        out.insert(out.end(),
                   {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(layout.transparentIndex), 0});
    out.push_back(0x2C);
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, layout.width);
    putU16(out, layout.height);
    out.push_back(0);
    out.push_back(2); // minimum code size
    std::vector<int> codes;
    for (uint8_t index : layout.indices)
        codes.insert(codes.end(), {4, index});
    codes.push_back(5);
    Bytes packed;
    uint32_t acc = 0;
    int bits = 0;
    for (int code : codes) {
        acc |= static_cast<uint32_t>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            packed.push_back(static_cast<uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        packed.push_back(static_cast<uint8_t>(acc));
    for (size_t at = 0; at < packed.size(); at += 255) {
        const size_t n = std::min<size_t>(255, packed.size() - at);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), packed.begin() + static_cast<long>(at),
                   packed.begin() + static_cast<long>(at + n));
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

Bytes withExifOrientation(Bytes jpeg, int orientation) {
    if (orientation == 0)
        return jpeg;
    Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', '*', 0};
    putU32(exif, 8);      // first directory
    putU16(exif, 1);      // one entry
    putU16(exif, 0x0112); // orientation
    putU16(exif, 3);      // SHORT
    putU32(exif, 1);
    putU16(exif, static_cast<uint32_t>(orientation));
    putU16(exif, 0);
    putU32(exif, 0); // no next directory
    Bytes segment = {0xFF, 0xE1, static_cast<uint8_t>((exif.size() + 2) >> 8),
                     static_cast<uint8_t>(exif.size() + 2)};
    segment.insert(segment.end(), exif.begin(), exif.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

size_t jpegMarker(const Bytes& jpeg, uint8_t marker) {
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker)
            return i;
    return 0;
}

PictureLoad readPictureBytes(const Bytes& file, const ReadingChoices& choices) {
    FILE* stream = tmpfile();
    if (stream == nullptr)
        return PictureLoad{};
    if (!file.empty())
        fwrite(file.data(), 1, file.size(), stream);
    rewind(stream);
    PictureLoad load = readPicture(stream, choices);
    fclose(stream);
    return load;
}

bool readPictureBytesByRows(const Bytes& file, const ReadingChoices& choices, int32_t band,
                            PictureLoad* load) {
    FILE* stream = tmpfile();
    if (stream == nullptr)
        return false;
    if (!file.empty())
        fwrite(file.data(), 1, file.size(), stream);
    rewind(stream);
    RowReading reading;
    if (!startRowReading(stream, choices, &reading)) {
        fclose(stream);
        return false;
    }
    const int32_t width = reading.width;
    const int32_t height = reading.height;
    auto* pixels = static_cast<uint8_t*>(malloc(size_t{3} * width * height + 1));
    for (int32_t y = 0; y < height && readNextRows(&reading, std::min(band, height - y),
                                                   pixels + size_t{3} * width * y) == Reason::None;
         y += band) {
    }
    *load = endRowReading(&reading);
    fclose(stream);
    if (load->failure != Reason::None) {
        free(pixels);
        pixels = nullptr;
    }
    load->image = pixels != nullptr ? RgbImage{width, height, pixels} : RgbImage{};
    return true;
}

Bytes pixelsOf(const PictureLoad& load) {
    return Bytes(load.image.pixels,
                 load.image.pixels + size_t{3} * load.image.width * load.image.height);
}
