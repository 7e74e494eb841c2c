// The pixel steps the row-wise passes share (quantise_rows.cpp and the
// two-row passes of quantise_two_rows.cpp): the three channels of a pixel as
// the lanes of one small vector, its working values, green's compensation
// test, the packing of the word, and one visit of each error-diffusion
// method, which every driver (whole rows either way, two rows at once) runs.
// Internal to the quantiser.
#pragma once

#include "convert/working_scale.h"
#include "platform/byte_order.h"

#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Where the compiler can make a function in several versions and pick one
// as the program starts (GCC for x86-64 Linux), the passes also get a version
// for processors with AVX2: the same integer steps, so the same words, in
// fewer instructions (three-operand forms, 32-bit minimum and multiply).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define HALVEX_ALSO_FOR_AVX2 [[gnu::target_clones("avx2", "default")]]
#else
#define HALVEX_ALSO_FOR_AVX2
#endif

namespace rowpass {

// Red, green, blue, unused. GCC and Clang compile it to one SIMD register
// where the target has one, and lane by lane where it has not.
using Lanes = int32_t __attribute__((vector_size(16)));
constexpr int32_t lanesPerPixel = 4;

constexpr Lanes maxLevels = {maxLevel, maxLevel, maxLevel, 0};
constexpr Lanes errorMasks = {fiveBitErrorMask, fiveBitErrorMask, fiveBitErrorMask, 0};
constexpr Lanes errorMasksSixBitGreen = {fiveBitErrorMask, sixBitErrorMask, fiveBitErrorMask, 0};

// Vectors pass through memory rather than as function results, whose
// passing convention differs between x86 targets with and without SSE.
inline void readLanes(Lanes& lanes, const int32_t* from) {
    memcpy(&lanes, from, sizeof lanes);
}
inline void writeLanes(int32_t* to, const Lanes& lanes) {
    memcpy(to, &lanes, sizeof lanes);
}

// A word, least significant byte first: one store where that is the
// machine's own order.
inline void putWord(uint8_t* out, uint16_t word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    memcpy(out, &word, sizeof word);
#else
    putFieldU16(out, word);
#endif
}

// The RGB565 word of three levels, each masked on the working scale.
inline void putPixelWord(uint8_t* out, int32_t red, int32_t green, int32_t blue) {
    putWord(out, static_cast<uint16_t>(red + (green >> 5) + (blue >> 11)));
}

// Under compensation green takes 5 bits when it equals the pixel's red
// (clamped) or its blue as it stands before its own visit: input plus all the
// error it will receive, not clamped. Both passes have delivered all of the
// blue's error by then, since only earlier cells feed it.
template <bool compensate>
inline bool greenTakesFiveBits(int32_t green, int32_t red, int32_t unclampedBlue) {
    return compensate && (green == red || green == unclampedBlue);
}

// A pixel's channels x 257, as lanes. With SSE2 they are read together with
// the next byte in one 4-byte load, and unpacking the bytes with themselves
// gives each x 257 (b * 256 + b); the spare byte lands in the unused lane,
// whose level clamps to 0, so it never reaches an error or a word. The
// passes never read the image's last pixel in place (quantise_rows.cpp
// keeps a copy of the last row with a spare byte), so there is always a
// next byte.
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

// What both methods do at a pixel: its working value (scaled input plus the
// error received, clamped) and green's test, then the error the masking
// leaves, to be spread, and at last the word.
struct Quantised {
    Lanes clamped;
    bool fiveBitGreen;
};

template <bool compensate>
[[gnu::always_inline]] inline void quantisePixel(const Lanes& input, const Lanes& received,
                                                 Quantised& q, Lanes& error) {
    const Lanes unclamped = input + received;
    q.clamped = unclamped > maxLevels ? maxLevels : unclamped;
    q.fiveBitGreen = greenTakesFiveBits<compensate>(q.clamped[1], q.clamped[0], unclamped[2]);
    error = q.clamped & (q.fiveBitGreen ? errorMasks : errorMasksSixBitGreen);
}

[[gnu::always_inline]] inline void putQuantisedWord(uint8_t* out, const Quantised& q) {
    putPixelWord(out, q.clamped[0] & fiveBitLevelMask, q.clamped[1] & levelMask(q.fiveBitGreen),
                 q.clamped[2] & fiveBitLevelMask);
}

// One row of Floyd-Steinberg, one pixel per visit, in whichever direction
// the driver walks. Carried along the row: 7/16 of the last error for the
// next pixel, and the sums gathered so far for the cell below the previous
// pixel (1/16 from the pixel before it, 5/16 from it) and for the cell below
// this one (1/16 from the previous pixel). The cell below the previous pixel
// gets its last share, 3/16, from this pixel, so it is handed out complete
// rather than added to; after the row's last pixel, belowPrevious is the
// cell below that pixel, complete.
template <bool compensate> struct FloydSteinbergStep {
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};

    // Visits a pixel that has received `received` from above; completed gets
    // the cell below the previous pixel.
    [[gnu::always_inline]] void visit(const Lanes& input, const Lanes& received, uint8_t* out,
                                      Lanes& completed) {
        Quantised q;
        Lanes e;
        quantisePixel<compensate>(input, received + next, q, e);
        next = (e * 7) >> 4;
        completed = belowPrevious + ((e * 3) >> 4);
        belowPrevious = belowThis + ((e * 5) >> 4);
        belowThis = e >> 4;
        putQuantisedWord(out, q);
    }
};

// One row of Atkinson-Boyle, one pixel per visit. One eighth of each error
// goes to the next two pixels, the three cells below and the cell two rows
// below. Carried along the row: the shares owed to this pixel and to the
// next, and the sums gathered for the cells below the previous pixel and
// below this one. The cell below the previous pixel is complete after this
// pixel's share, on top of what it had from two rows up.
template <bool compensate> struct AtkinsonBoyleStep {
    Lanes here{};
    Lanes next{};
    Lanes belowPrevious{};
    Lanes belowThis{};

    // earlier: what the cell below the previous pixel had from two rows up.
    // completed gets that cell with all its shares; ownShare is this pixel's
    // eighth, which is also what the cell two rows below it receives.
    [[gnu::always_inline]] void visit(const Lanes& input, const Lanes& received,
                                      const Lanes& earlier, uint8_t* out, Lanes& completed,
                                      Lanes& ownShare) {
        Quantised q;
        Lanes e;
        quantisePixel<compensate>(input, received + here, q, e);
        const Lanes share = e >> 3;
        here = next + share;
        next = share;
        completed = earlier + belowPrevious + share;
        belowPrevious = belowThis + share;
        belowThis = share;
        ownShare = share;
        putQuantisedWord(out, q);
    }
};

} // namespace rowpass
