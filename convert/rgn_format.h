// The RGN/MBR file, the one output format (.rgn and .mbr hold the same
// bytes): a header of twelve 32-bit words, then one 16-bit RGB565 word per
// pixel, everything least significant byte first. The pixel block holds
// height rows of width words, the picture's top row first, left to right,
// with no padding; red is in bits 15 to 11, green in 10 to 5, blue in 4 to 0.
// Nothing follows the last pixel word: the file is 48 + 2 x width x height
// bytes long.
//
// The header is laid out by the table rgnHeaderFields below, which the
// writer, the file check and `info` all read.
#pragma once

#include <cstddef>
#include <cstdint>

// How a screen shows a pixel word: each field widened to 8 bits by
// repeating its top bits, as the previews and the figures show it.
// The 8-bit levels of a 5-bit and a 6-bit field: 0 stays 0, the top level
// becomes 255, and the steps between are as even as 8 bits allow.
inline uint8_t widenFiveBits(uint32_t level) {
    return static_cast<uint8_t>((level << 3) | (level >> 2));
}
inline uint8_t widenSixBits(uint32_t level) {
    return static_cast<uint8_t>((level << 2) | (level >> 4));
}
inline void widenWord(uint16_t word, uint8_t rgb[3]) {
    rgb[0] = widenFiveBits(static_cast<uint32_t>(word) >> 11);
    rgb[1] = widenSixBits((static_cast<uint32_t>(word) >> 5) & 0x3F);
    rgb[2] = widenFiveBits(static_cast<uint32_t>(word) & 0x1F);
}

constexpr int32_t rgnHeaderBytes = 48;
constexpr int32_t rgnHeaderWordCount = 12;

// Where a header word's value comes from.
enum class RgnWordRule : int32_t {
    width,      // the picture's width in pixels
    height,     // the picture's height in rows
    pixelBytes, // width x height x 2
    fixed,      // always RgnHeaderField::value
};

// How a header word is shown to people.
enum class RgnWordShown : int32_t { decimal, hex8, hex4 };

struct RgnHeaderField {
    const char* name;
    int32_t offset;
    RgnWordRule rule;
    int32_t value; // the fixed words' value
    RgnWordShown shown;
};

extern const RgnHeaderField rgnHeaderFields[rgnHeaderWordCount];

// The twelve header words of an RGN/MBR file for a width x height image.
void rgnHeaderWords(int32_t width, int32_t height, int32_t words[rgnHeaderWordCount]);

// The same as the 48 bytes of the file.
void encodeRgnHeader(int32_t width, int32_t height, uint8_t bytes[rgnHeaderBytes]);

// The name of header word i as it is shown ("width", "red mask", "constant
// at 12", ...; "?" outside 0 to 11).
const char* rgnHeaderFieldName(int32_t index);

// Header word i as it is shown: the masks and the constant at 12 in
// hexadecimal, the other words in decimal.
void formatRgnHeaderValue(int32_t index, int32_t value, char* text, size_t textSize);
