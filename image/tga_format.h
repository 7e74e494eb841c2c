// The fixed parts of a TGA file that both the compatible loader and the
// other readers look at: the 18-byte header and the version 2.0 footer of
// 26 bytes (two 32-bit offsets, then the signature with its full stop and
// NUL). The readers compare the signature's first 16 bytes only.
#pragma once

#include <cstddef>

constexpr size_t tgaHeaderBytes = 18;
constexpr size_t tgaFooterBytes = 26;
constexpr size_t tgaSignatureOffset = 8; // inside the footer
constexpr char tgaSignature[] = "TRUEVISION-XFILE.";
constexpr size_t tgaSignatureCheckedBytes = 16;
