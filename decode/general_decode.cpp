// PNG, JPEG and GIF through stb_image, built with those three formats only
// and its own limits. 16-bit samples are reduced to 8 bits here, by
// rounding, rather than by stb's truncation.
#include "decode/decoders.h"
#include "platform/byte_order.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_STATIC
// The static analysers look at this project's code, not at stb's.
#ifndef __clang_analyzer__
#define STB_IMAGE_IMPLEMENTATION
#endif
#include <stb/stb_image.h>

namespace {

constexpr int rgba = 4;

bool startsWith(const uint8_t* data, size_t size, const char* prefix, size_t length) {
    return size >= length && memcmp(data, prefix, length) == 0;
}

uint8_t reduceSample(uint16_t v) {
    return static_cast<uint8_t>((uint32_t{v} * 255 + 32767) / 65535);
}

// Reduces the 16-bit samples to 8 bits in place; the block keeps its size.
void reduceSixteenBits(uint16_t* samples, size_t count) {
    auto* bytes = reinterpret_cast<uint8_t*>(samples);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = reduceSample(samples[i]);
}

constexpr size_t pngSignatureBytes = 8;

struct CrcTable {
    uint32_t entries[256];
};

constexpr CrcTable makeCrcTable() {
    CrcTable table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        table.entries[n] = c;
    }
    return table;
}

constexpr CrcTable crcTable = makeCrcTable();

uint32_t crc32Of(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        crc = crcTable.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

// stb_image does not check the chunks' CRCs; a damaged chunk would decode
// to a wrong picture without a word, so every chunk up to IEND is checked
// here first.
bool pngChunksIntact(const uint8_t* data, size_t size) {
    size_t at = pngSignatureBytes;
    while (size - at >= 12) {
        const uint32_t length = fieldU32BigEndian(data + at);
        if (length > size - at - 12)
            return false;
        const uint8_t* typeAndData = data + at + 4;
        if (crc32Of(typeAndData, 4 + size_t{length}) != fieldU32BigEndian(typeAndData + 4 + length))
            return false;
        if (memcmp(typeAndData, "IEND", 4) == 0)
            return true;
        at += 12 + size_t{length};
    }
    return false;
}

constexpr uint8_t jpegMarker = 0xFF;
constexpr uint8_t jpegHuffmanTables = 0xC4;
constexpr uint8_t jpegStartOfScan = 0xDA;
constexpr uint8_t jpegEndOfImage = 0xD9;
constexpr size_t jpegMostHuffmanCodes = 256;

bool isStandaloneMarker(uint8_t marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

// The Huffman tables defined so far, one bit per table id, DC and AC.
struct DefinedTables {
    unsigned dc;
    unsigned ac;
};

// Records the tables of the DHT segment at p; false when one declares more
// than 256 codes, which stb_image 2.27 writes past its code-length table
// for. Only `available` of the segment's `length` bytes may be in the file:
// stb reads the rest as zeros, which declare no codes.
bool recordHuffmanTables(const uint8_t* p, size_t length, size_t available, DefinedTables* tables) {
    size_t at = 0;
    while (at < length && at < available) {
        const unsigned kind = p[at] >> 4;
        const unsigned id = p[at] & 15;
        size_t codes = 0;
        for (size_t i = at + 1; i <= at + 16 && i < available; ++i)
            codes += p[i];
        if (codes > jpegMostHuffmanCodes)
            return false;
        if (id < 4)
            (kind == 0 ? tables->dc : tables->ac) |= 1u << id;
        at += 17 + codes;
    }
    return true;
}

// True when every table that the scan at p (the SOS segment's data) decodes
// with has been defined: stb_image 2.27 decodes with whatever an undefined
// table's memory holds and indexes out of bounds with it. A first DC scan
// (first coefficient 0, successive approximation high 0) needs DC tables, any
// scan with AC coefficients (last coefficient above 0) AC tables.
bool scanTablesDefined(const uint8_t* p, size_t length, const DefinedTables& tables) {
    if (length < 1)
        return false;
    const size_t components = p[0];
    if (length < 1 + 2 * components + 3)
        return false;
    const uint8_t firstCoefficient = p[1 + 2 * components];
    const uint8_t lastCoefficient = p[2 + 2 * components];
    const uint8_t approximationHigh = p[3 + 2 * components] >> 4;
    for (size_t i = 0; i < components; ++i) {
        const unsigned selectors = p[2 + 2 * i];
        const unsigned dc = selectors >> 4;
        const unsigned ac = selectors & 15;
        if (firstCoefficient == 0 && approximationHigh == 0 &&
            (dc > 3 || (tables.dc & (1u << dc)) == 0))
            return false;
        if (lastCoefficient > 0 && (ac > 3 || (tables.ac & (1u << ac)) == 0))
            return false;
    }
    return true;
}

// The position of the marker that ends the entropy-coded data starting at
// `at`: 0xFF bytes followed by 0 (a stuffed 0xFF) or by a restart marker
// are data, and fill bytes 0xFF may come before any of them.
size_t endOfEntropyData(const uint8_t* data, size_t size, size_t at) {
    while (at < size) {
        if (data[at] != jpegMarker) {
            ++at;
            continue;
        }
        size_t next = at + 1;
        while (next < size && data[next] == jpegMarker)
            ++next;
        if (next >= size)
            return size;
        if (data[next] != 0 && !isStandaloneMarker(data[next]))
            return next - 1;
        at = next + 1;
    }
    return size;
}

// One segment's part in the check: a Huffman table segment is recorded, a
// start of scan checked against the tables recorded so far.
bool segmentSafe(uint8_t marker, const uint8_t* payload, size_t length, size_t available,
                 DefinedTables* tables) {
    if (marker == jpegHuffmanTables)
        return recordHuffmanTables(payload, length, available, tables);
    if (marker == jpegStartOfScan)
        return scanTablesDefined(payload, length < available ? length : available, *tables);
    return true;
}

// Walks the segments as stb_image does (and, after each start of scan, the
// entropy-coded data), checking the Huffman tables and the scans' use of
// them. A structure that cannot be followed is refused rather than handed
// to stb_image; a file that simply ends early is not.
bool jpegTablesSafe(const uint8_t* data, size_t size) {
    DefinedTables tables{0, 0};
    size_t at = 2;
    while (size - at >= 2) {
        if (data[at] != jpegMarker) { // stb_image passes over padding between segments
            ++at;
            continue;
        }
        const uint8_t marker = data[at + 1];
        if (marker == jpegMarker || isStandaloneMarker(marker)) {
            at += marker == jpegMarker ? 1 : 2;
            continue;
        }
        if (marker == jpegEndOfImage || size - at < 4)
            return true;
        const size_t length = fieldU16BigEndian(data + at + 2);
        if (length < 2 || marker == 0)
            return false;
        if (!segmentSafe(marker, data + at + 4, length - 2, size - at - 4, &tables))
            return false;
        if (length > size - at - 2)
            return true;
        at += 2 + length;
        if (marker == jpegStartOfScan)
            at = endOfEntropyData(data, size, at);
    }
    return true;
}

} // namespace

bool isGeneralFormat(const uint8_t* data, size_t size) {
    return startsWith(data, size, "\x89PNG\r\n\x1a\n", pngSignatureBytes) ||
           startsWith(data, size, "\xFF\xD8\xFF", 3) || startsWith(data, size, "GIF87a", 6) ||
           startsWith(data, size, "GIF89a", 6);
}

Reason decodeGeneral(const uint8_t* data, size_t size, int64_t maxPixels, RgbaPicture* out) {
    if (size > INT_MAX)
        return Reason::TooManyPixels;
    const int length = static_cast<int>(size);
    int width = 0;
    int height = 0;
    int channels = 0;
    if (startsWith(data, size, "\x89PNG\r\n\x1a\n", pngSignatureBytes) &&
        !pngChunksIntact(data, size))
        return Reason::DamagedPicture;
    if (startsWith(data, size, "\xFF\xD8", 2) && !jpegTablesSafe(data, size))
        return Reason::DamagedPicture;
    if (!stbi_info_from_memory(data, length, &width, &height, &channels))
        return Reason::DamagedPicture;
    if (width <= 0 || height <= 0)
        return Reason::DamagedPicture;
    if (int64_t{width} * height > maxPixels)
        return Reason::TooManyPixels;

    uint8_t* pixels = nullptr;
    if (stbi_is_16_bit_from_memory(data, length)) {
        stbi_us* wide = stbi_load_16_from_memory(data, length, &width, &height, &channels, rgba);
        if (wide != nullptr)
            reduceSixteenBits(wide,
                              static_cast<size_t>(width) * static_cast<size_t>(height) * rgba);
        pixels = reinterpret_cast<uint8_t*>(wide);
    } else {
        pixels = stbi_load_from_memory(data, length, &width, &height, &channels, rgba);
    }
    if (pixels == nullptr)
        return Reason::DamagedPicture;
    *out = RgbaPicture{width, height, pixels};
    return Reason::None;
}
