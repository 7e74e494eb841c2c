// The fixed parts of a BMP file that the compatible loader, the standard
// reader and the preview writer share: the 14-byte file header ("BM", the
// file size, two reserved words, the offset of the pixels) and the 40-byte
// Windows information header, the shortest that carries every field a
// 24-bit picture needs.
#pragma once

#include <cstddef>

constexpr size_t bmpFileHeaderBytes = 14;
constexpr size_t bmpInfoHeaderBytes = 40;
