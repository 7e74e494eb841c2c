// Reading RGN/MBR files back: the twelve header words, the check that a file
// is what the writer makes of some image, and the pixel words themselves.
// Used to describe a file and to turn one into a picture again.
#pragma once

#include "convert/rgn_format.h"
#include "platform/status.h"

#include <cstdint>
#include <cstdio>
#include <string>

// What the start of a file holds. headerComplete is false when the file is
// shorter than the header; words then holds nothing meaningful.
struct RgnFileHeader {
    int64_t fileLength;
    bool headerComplete;
    int32_t words[rgnHeaderWordCount];
};

// Reads the length of a stream opened "rb" and its first 48 bytes, leaving
// the stream just past them. A system failure (with errno as it was left)
// when the stream cannot be measured or read.
Status readRgnHeader(FILE* stream, RgnFileHeader* header);

// Checks a header against the file it came from: complete, width and height
// not negative, the pixel-byte word equal to width x height x 2, every fixed
// word as the writer puts it, and the length equal to 48 plus the pixel
// bytes, in that order. Reason::RgnInconsistent when one does not hold.
Status checkRgnHeader(const RgnFileHeader& header);

// The first of those rules that does not hold, in words ("the width -1 is
// negative"); empty when all hold.
std::string rgnHeaderProblem(const RgnFileHeader& header);

// The pixel block of a consistent file whose header has just been read:
// pixel bytes (words[2]) bytes, one 16-bit word per pixel, least significant
// byte first, as a malloc'd block (release with free(); never null for a
// 0-byte block on success). Null when it cannot be read or allocated.
uint8_t* readRgnPixels(FILE* stream, const RgnFileHeader& header);
