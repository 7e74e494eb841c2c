// Image import: decodes a BMP or TGA byte stream into an RgbImage.
//
// loadImage() is the entry: it is given a stream opened "rb" (it never opens
// or closes one), dispatches on the first two bytes ("BM" is BMP, anything
// else is tried as TGA) and returns a malloc'd block of width x height x 3
// bytes (red, green, blue; row 0 is the top row for BMP, the first stored row
// for TGA), or null. On failure nothing is handed over, the stream is left at
// its end and the width and height out-parameters are not written.
#pragma once

#include <cstdint>
#include <cstdio>

struct RgbImage {
    int32_t width;
    int32_t height;
    uint8_t* pixels; // width * height * 3 bytes, owned by whoever holds the record
};

// Length of the stream as a 32-bit position; the position is left unchanged.
// A stream longer than INT32_MAX bytes yields -1.
int32_t fileLength(FILE* stream);

// Returns the pixel block (release with free()) or null.
uint8_t* loadImage(FILE* stream, int32_t* width, int32_t* height);

// Beside loadImage, for a conversion that runs while the file is read: a BMP
// file that loadImage reads, given a band of rows at a time, top row first,
// the very rows loadImage gives, each band's stored rows read in one piece.
// The start (the stream positioned at the file's start) settles everything
// loadImage does before its first pixel: null, with the stream back where
// it was, for any other file and for one without pixels. readBmpRows puts
// the next `count` rows (fewer at the bottom) at pixels, width x 3 bytes a
// row; false when the stream fails. The stream must stay open until the
// end.
struct BmpRows;
BmpRows* startBmpRows(FILE* stream, int32_t* width, int32_t* height);
bool readBmpRows(BmpRows* rows, int32_t count, uint8_t* pixels);
void endBmpRows(BmpRows* rows);
