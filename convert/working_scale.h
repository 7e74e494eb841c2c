// The scale the quantiser works on: each channel x 257, so 0 to 65535, with
// a field's level in the top bits and the error it leaves below them. Red and
// blue always keep 5 bits; green keeps 6, or 5 under compensation when it
// equals its red or blue, so that a grey stays grey. Shared by the row-wise
// passes and the full-plane passes they are checked against.
#pragma once

#include <cstdint>

constexpr int32_t maxLevel = 65535;

constexpr int32_t fiveBitLevelMask = 0xF800;
constexpr int32_t sixBitLevelMask = 0xFC00;
constexpr int32_t fiveBitErrorMask = 0x07FF;
constexpr int32_t sixBitErrorMask = 0x03FF;

constexpr int32_t levelMask(bool fiveBits) {
    return fiveBits ? fiveBitLevelMask : sixBitLevelMask;
}

constexpr int32_t errorMask(bool fiveBits) {
    return fiveBits ? fiveBitErrorMask : sixBitErrorMask;
}
