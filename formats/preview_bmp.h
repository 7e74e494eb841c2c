// A viewable picture of RGN/MBR pixel words: a 24-bit BMP in which every 5-
// or 6-bit field is widened back to 8 bits by repeating its top bits, so that
// the quantised and dithered result can be looked at on an ordinary screen.
#pragma once

#include "convert/rgn_format.h"
#include "platform/output_file.h"

#include <cstdint>

// The preview as an uncompressed 24-bit BMP (40-byte information header,
// rows stored bottom-up and padded to four bytes) of the width x height
// pixel words in words (least significant byte first, rows from the top),
// put into an open output file. EFBIG when the picture is too large for a
// BMP file.
void putPreviewBmp(OutputFile* file, int32_t width, int32_t height, const uint8_t* words);

// The preview as a PNG file of 8-bit RGB pixels.
void putPreviewPng(OutputFile* file, int32_t width, int32_t height, const uint8_t* words);

// A PNG when name ends in ".png" (any case), a BMP otherwise.
void putPreviewFile(OutputFile* file, const char* name, int32_t width, int32_t height,
                    const uint8_t* words);

// Writes path as a whole with putPreviewFile. A failure is Reason::System
// with the system's error number.
Status writePreviewFile(const char* path, int32_t width, int32_t height, const uint8_t* words);
