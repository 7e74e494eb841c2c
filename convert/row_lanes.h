// The pixel steps the row-wise passes share (quantise_rows.cpp and the
// two-row passes of quantise_two_rows.cpp): the three channels of a pixel as
// the lanes of one small vector, its working values, green's compensation
// test and the packing of the word. Internal to the quantiser.
#pragma once

#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace rowpass {

constexpr int32_t maxLevel = 65535;

// Red, green, blue, unused. GCC and Clang compile it to one SIMD register
// where the target has one, and lane by lane where it has not.
using Lanes = int32_t __attribute__((vector_size(16)));
constexpr int32_t lanesPerPixel = 4;

constexpr Lanes maxLevels = {maxLevel, maxLevel, maxLevel, 0};
constexpr Lanes errorMasks = {0x07FF, 0x07FF, 0x07FF, 0}; // green in 5 bits
constexpr Lanes errorMasksSixBitGreen = {0x07FF, 0x03FF, 0x07FF, 0};

// Vectors pass through memory rather than as function results, whose
// passing convention differs between x86 targets with and without SSE.
inline void readLanes(Lanes& lanes, const int32_t* from) {
    memcpy(&lanes, from, sizeof lanes);
}
inline void writeLanes(int32_t* to, const Lanes& lanes) {
    memcpy(to, &lanes, sizeof lanes);
}

inline void putWord(uint8_t* out, int32_t red, int32_t green, int32_t blue) {
    const auto word = static_cast<uint16_t>(red + (green >> 5) + (blue >> 11));
    out[0] = static_cast<uint8_t>(word & 0xFF);
    out[1] = static_cast<uint8_t>(word >> 8);
}

inline int32_t greenLevelMask(bool fiveBits) {
    return fiveBits ? 0xF800 : 0xFC00;
}

// Under compensation green takes 5 bits when it equals the pixel's red
// (clamped) or its blue as it stands before its own visit: input plus all the
// error it will receive, not clamped. Both passes have delivered all of the
// blue's error by then, since only earlier cells feed it.
template <bool compensate>
inline bool greenTakesFiveBits(int32_t green, int32_t red, int32_t unclampedBlue) {
    return compensate && (green == red || green == unclampedBlue);
}

// The working values of a pixel: input x 257 plus the error received, and
// those values clamped.
struct Working {
    Lanes unclamped;
    Lanes clamped;
};

// A pixel's channels x 257, as lanes. With SSE2 they are read together with
// the next byte in one 4-byte load, and unpacking the bytes with themselves
// gives each x 257 (b * 256 + b); the spare byte lands in the unused lane,
// whose level clamps to 0, so it never reaches an error or a word. The
// passes never read the image's last pixel in place (see RowQuantiser), so
// there is always a next byte.
inline void readPixel(Lanes& lanes, const uint8_t* in) {
#ifdef __SSE2__
    int32_t bytes;
    memcpy(&bytes, in, sizeof bytes);
    const __m128i v = _mm_cvtsi32_si128(bytes);
    const __m128i scaled = _mm_unpacklo_epi16(_mm_unpacklo_epi8(v, v), _mm_setzero_si128());
    memcpy(&lanes, &scaled, sizeof lanes);
#else
    const Lanes input = {in[0], in[1], in[2], 0};
    lanes = input * 257;
#endif
}

inline void takeInput(Working& w, const Lanes& scaledInput, const Lanes& received) {
    w.unclamped = scaledInput + received;
    w.clamped = w.unclamped > maxLevels ? maxLevels : w.unclamped;
}

inline void visitPixel(Working& w, const uint8_t* in, const Lanes& received) {
    Lanes input;
    readPixel(input, in);
    takeInput(w, input, received);
}

} // namespace rowpass
