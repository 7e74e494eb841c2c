// The orientation tag (0x0112) of the EXIF block in a JPEG file's APP1
// segment. Every offset is checked against the segment; anything that does
// not add up means "no orientation", never a failure.
#include "decode/decode.h"
#include "platform/byte_order.h"

#include <cstring>

namespace {

constexpr uint8_t markerPrefix = 0xFF;
constexpr uint8_t startOfImage = 0xD8;
constexpr uint8_t startOfScan = 0xDA;
constexpr uint8_t endOfImage = 0xD9;
constexpr uint8_t app1 = 0xE1;
constexpr uint16_t orientationTag = 0x0112;
constexpr uint16_t typeShort = 3;
constexpr uint64_t ifdEntryBytes = 12;

struct Tiff {
    const uint8_t* base;
    size_t size;
    bool bigEndian;
};

// Offsets are 64-bit so that a hostile offset cannot wrap on a 32-bit build.
bool read16(const Tiff& t, uint64_t at, uint16_t* v) {
    if (at > t.size || t.size - at < 2)
        return false;
    *v = t.bigEndian ? fieldU16BigEndian(t.base + at) : fieldU16(t.base + at);
    return true;
}

bool read32(const Tiff& t, uint64_t at, uint32_t* v) {
    uint16_t a = 0;
    uint16_t b = 0;
    if (!read16(t, at, &a) || !read16(t, at + 2, &b))
        return false;
    *v = t.bigEndian ? (uint32_t{a} << 16) | b : (uint32_t{b} << 16) | a;
    return true;
}

int orientationInTiff(const Tiff& t) {
    if (t.size < 8)
        return 1;
    uint32_t ifd = 0;
    uint16_t count = 0;
    if (!read32(t, 4, &ifd) || !read16(t, ifd, &count))
        return 1;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t entry = uint64_t{ifd} + 2 + i * ifdEntryBytes;
        uint16_t tag = 0;
        uint16_t type = 0;
        uint16_t value = 0;
        if (!read16(t, entry, &tag) || !read16(t, entry + 2, &type) ||
            !read16(t, entry + 8, &value))
            return 1;
        if (tag == orientationTag)
            return (type == typeShort && value >= 1 && value <= 8) ? value : 1;
    }
    return 1;
}

int orientationInSegment(const uint8_t* p, size_t length) {
    static const char exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (length < sizeof exifHeader + 8 || memcmp(p, exifHeader, sizeof exifHeader) != 0)
        return 0;
    const uint8_t* tiff = p + sizeof exifHeader;
    const size_t tiffSize = length - sizeof exifHeader;
    if (memcmp(tiff, "II*\0", 4) == 0)
        return orientationInTiff(Tiff{tiff, tiffSize, false});
    if (memcmp(tiff, "MM\0*", 4) == 0)
        return orientationInTiff(Tiff{tiff, tiffSize, true});
    return 1;
}

} // namespace

int jpegOrientation(const uint8_t* data, size_t size) {
    if (size < 4 || data[0] != markerPrefix || data[1] != startOfImage)
        return 1;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != markerPrefix)
            return 1;
        const uint8_t marker = data[at + 1];
        if (marker == markerPrefix) { // fill byte
            ++at;
            continue;
        }
        if (marker == startOfScan || marker == endOfImage)
            return 1;
        const size_t length = fieldU16BigEndian(data + at + 2);
        if (length < 2 || size - at - 2 < length)
            return 1;
        if (marker == app1) {
            const int orientation = orientationInSegment(data + at + 4, length - 2);
            if (orientation != 0)
                return orientation;
        }
        at += 2 + length;
    }
    return 1;
}
