// Error diffusion with each pixel's channels in 16-bit lanes: four rows at
// a time, and single rows for serpentine runs.
//
// The sums are those of the 32-bit passes (row_lanes.h), to the bit: every
// cell holds its input x 257 plus the error received, at most 65535 + 2047,
// and a saturating 16-bit add gives that sum clamped at 65535. The wrapping
// add beside it tells green's compensation test whether blue's sum went
// over (then green, at most 65535, cannot equal it). Errors are at most 2047
// and every share of them fits 16 bits. Saturating adds of values that are
// not negative may be taken in any order, so what a pixel has from above
// and from further back is added first, and the share of the pixel just
// visited last: the chain from one pixel to the next is that add, the
// masking and the next share.
//
// Four rows at a time. The two-row passes (quantise_two_rows.cpp) run two
// chains of dependent steps side by side, each pixel in lanes of its own.
// Here one 256-bit register holds a pixel of each of four rows, so that
// every vector instruction serves four pixels. Row k + 1 runs three pixels
// behind row k: in step t row k visits pixel t - 3k, and what it completes
// for the row below (the cell below its previous pixel) is what row k + 1
// takes in step t + 2; Atkinson-Boyle's share for two rows down reaches row
// k + 2 four steps later. Two pixels behind would do, but then what a row
// completes would be taken in the very next step, and moving it to the next
// row's lanes would lengthen the chain from one step to the next. Row 0
// takes its error from the run's arrays, and row 3's output goes back to
// them, so the groups follow one another as single rows do.
//
// Before its first pixel and after its last a row makes visits of no pixel,
// whose error is masked to 0. So the state a row carries stays zero until
// its first pixel, and the visit just after its last pixel hands the row
// below the cell below that pixel, complete, as the single-row pass does
// after its loop. The pixels are spread into the staggered order before the
// steps, the words gathered back into rows after them, and the error
// arrays' 32-bit lanes narrowed to 16 bits, in passes of their own: the
// steps then load and store whole registers.
//
// Single rows, in either direction, one pixel a step in the low 64 bits of
// a register, for serpentine runs, whose rows each wait for the whole row
// before them. Their error arrays stay in 16-bit lanes from row to row.
// Atkinson-Boyle's rows walk only their chain, and a second pass finishes
// them 8 pixels at a time.
#include "convert/quantise_wide_lanes.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(__EMSCRIPTEN__)
#define HALVEX_WIDE_LANES 1
#include <immintrin.h>
#else
#define HALVEX_WIDE_LANES 0
#endif

#if HALVEX_WIDE_LANES

// The narrowing conversions below are used in their masked form, every lane
// chosen: GCC 12's plain forms start from an undefined register, which its
// own warnings then report.
#define HALVEX_WIDE_LANE_TARGET __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi")))
#define HALVEX_WIDE_LANE_INLINE HALVEX_WIDE_LANE_TARGET __attribute__((always_inline)) inline

namespace {

constexpr int32_t rowsAtOnce = 4;
constexpr int32_t lag = 3;                             // pixels each row runs behind
constexpr int32_t lastRowLag = lag * (rowsAtOnce - 1); // 9
constexpr int32_t extraSteps = lastRowLag + 1;         // the visits past the ends
constexpr size_t stepBytes = 32;                       // a pixel of each row
constexpr size_t pixelBytes = 8;                       // four 16-bit lanes
constexpr std::ptrdiff_t arrayLanes = 4;               // the run's arrays: 32-bit lanes

size_t roundedUp(size_t bytes) {
    return (bytes + 63) & ~size_t{63};
}

// Where each part of the working space lies.
struct Scratch {
    uint8_t* steps;    // the pixels in step order, x 257
    uint8_t* words;    // each step's four words
    uint8_t* received; // row 0's error at each x, narrowed; zero past the row
    uint8_t* twoUp;    // Atkinson-Boyle: fromTwoUp at x - 1, narrowed
};

size_t stepCount(int32_t width) {
    return static_cast<size_t>(width) + extraSteps;
}

size_t arrayEntries(int32_t width) {
    return static_cast<size_t>(width) + extraSteps + 1;
}

// The space is taken from the first 64-byte boundary in the block.
Scratch scratchOf(uint8_t* block, int32_t width) {
    Scratch s{};
    s.steps = block + (64 - reinterpret_cast<uintptr_t>(block) % 64) % 64;
    s.words = s.steps + roundedUp(stepCount(width) * stepBytes);
    s.received = s.words + roundedUp(stepCount(width) * pixelBytes);
    s.twoUp = s.received + roundedUp(arrayEntries(width) * pixelBytes);
    return s;
}

size_t scratchBytes(int32_t width) {
    return 63 + roundedUp(stepCount(width) * stepBytes) + roundedUp(stepCount(width) * pixelBytes) +
           2 * roundedUp(arrayEntries(width) * pixelBytes);
}

bool processorHasThem() {
    static const bool has =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
    return has;
}

// Row k's pixels go to slot k of steps x + 3k, each as its three bytes
// doubled (b * 256 + b = b x 257) and a zero lane; slots whose row has no
// pixel in that step are zero.
HALVEX_WIDE_LANE_INLINE void spreadStep(const uint8_t* const rows[4], int32_t width, size_t t,
                                        uint8_t* steps) {
    for (int32_t k = 0; k < rowsAtOnce; ++k) {
        const int64_t x = static_cast<int64_t>(t) - static_cast<int64_t>(lag) * k;
        uint16_t lanes[4] = {0, 0, 0, 0};
        if (x >= 0 && x < width) {
            const uint8_t* p = rows[k] + 3 * x;
            for (int32_t c = 0; c < 3; ++c)
                lanes[c] = static_cast<uint16_t>(p[c] * 257);
        }
        memcpy(steps + t * stepBytes + k * pixelBytes, lanes, sizeof lanes);
    }
}

// Four steps at once where every row has a pixel in each: four pixels of
// each row from one 16-byte load, turned so that each step's four come
// together.
HALVEX_WIDE_LANE_INLINE void spreadFourSteps(const uint8_t* const rows[4], size_t t,
                                             uint8_t* steps) {
    const __m256i doubled =
        _mm256_setr_epi8(0, 0, 1, 1, 2, 2, -1, -1, 3, 3, 4, 4, 5, 5, -1, -1, //
                         6, 6, 7, 7, 8, 8, -1, -1, 9, 9, 10, 10, 11, 11, -1, -1);
    __m256i row[rowsAtOnce];
    for (int32_t k = 0; k < rowsAtOnce; ++k) {
        const uint8_t* p = rows[k] + 3 * (t - static_cast<size_t>(lag * k));
        row[k] = _mm256_shuffle_epi8(
            _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
            doubled);
    }
    // Each row's register holds its pixels of steps t, t + 1 | t + 2, t + 3.
    const __m256i evenLow = _mm256_unpacklo_epi64(row[0], row[1]);
    const __m256i oddLow = _mm256_unpackhi_epi64(row[0], row[1]);
    const __m256i evenHigh = _mm256_unpacklo_epi64(row[2], row[3]);
    const __m256i oddHigh = _mm256_unpackhi_epi64(row[2], row[3]);
    auto* to = reinterpret_cast<__m256i*>(steps + t * stepBytes);
    _mm256_store_si256(to, _mm256_permute2x128_si256(evenLow, evenHigh, 0x20));
    _mm256_store_si256(to + 1, _mm256_permute2x128_si256(oddLow, oddHigh, 0x20));
    _mm256_store_si256(to + 2, _mm256_permute2x128_si256(evenLow, evenHigh, 0x31));
    _mm256_store_si256(to + 3, _mm256_permute2x128_si256(oddLow, oddHigh, 0x31));
}

HALVEX_WIDE_LANE_TARGET void spreadPixels(const uint8_t* const rows[4], int32_t width,
                                          uint8_t* steps) {
    const size_t count = stepCount(width);
    size_t t = 0;
    // Row 0 is the furthest on: its 16-byte load must stay inside its row.
    for (; t < count; ++t) {
        if (t >= static_cast<size_t>(lastRowLag) && 3 * t + 16 <= 3 * static_cast<size_t>(width)) {
            spreadFourSteps(rows, t, steps);
            t += 3;
        } else {
            spreadStep(rows, width, t, steps);
        }
    }
}

// from[first .. width) of a run's array, four 32-bit lanes a pixel, into
// 16-bit lanes at into[first + shift ..]; zero from the array's end to
// `entries`. Errors and their sums fit 16 bits.
HALVEX_WIDE_LANE_TARGET void narrowArray(const int32_t* from, int32_t first, int32_t width,
                                         int32_t shift, uint8_t* into, size_t entries) {
    const int32_t* at = from + arrayLanes * first;
    size_t i = static_cast<size_t>(static_cast<int64_t>(first) + shift);
    const size_t end = static_cast<size_t>(static_cast<int64_t>(width) + shift);
    for (; i + 4 <= end; i += 4, at += 4 * arrayLanes) {
        const __m512i wide = _mm512_loadu_si512(at);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(into + i * pixelBytes),
                            _mm512_maskz_cvtepi32_epi16(0xFFFF, wide));
    }
    for (; i < end; ++i, at += arrayLanes) {
        const __m128i wide = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(into + i * pixelBytes),
                         _mm_maskz_cvtepi32_epi16(0xF, wide));
    }
    memset(into + end * pixelBytes, 0, (entries - end) * pixelBytes);
}

// Row k's words are word k of steps x + 3k.
HALVEX_WIDE_LANE_TARGET void gatherWords(const uint8_t* words, int32_t width, uint8_t* out,
                                         size_t outRow) {
    for (int32_t k = 0; k < rowsAtOnce; ++k) {
        const uint8_t* from = words + static_cast<size_t>(lag * k) * pixelBytes;
        uint8_t* to = out + static_cast<size_t>(k) * outRow;
        const __m256i pick =
            _mm256_add_epi16(_mm256_setr_epi16(0, 4, 8, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0),
                             _mm256_set1_epi16(static_cast<int16_t>(k)));
        int32_t x = 0;
        for (; x + 4 <= width; x += 4) {
            const __m256i four = _mm256_loadu_si256(
                reinterpret_cast<const __m256i*>(from + static_cast<size_t>(x) * pixelBytes));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to + 2 * static_cast<size_t>(x)),
                             _mm256_castsi256_si128(_mm256_permutexvar_epi16(pick, four)));
        }
        for (; x < width; ++x)
            memcpy(to + 2 * static_cast<size_t>(x),
                   from + static_cast<size_t>(x) * pixelBytes + 2 * static_cast<size_t>(k), 2);
    }
}

// The masks of a step: the error bits of each lane with green on 6 bits,
// and the one bit green adds on 5; zero in the slots of rows that have no
// pixel in this step.
struct StepMasks {
    __m256i error;
    __m256i fiveBitGreen;
};

HALVEX_WIDE_LANE_INLINE StepMasks fullMasks() {
    const __m256i error = _mm256_setr_epi16(0x7FF, 0x3FF, 0x7FF, 0, 0x7FF, 0x3FF, 0x7FF, 0, //
                                            0x7FF, 0x3FF, 0x7FF, 0, 0x7FF, 0x3FF, 0x7FF, 0);
    const __m256i five = _mm256_setr_epi16(0, 0x400, 0, 0, 0, 0x400, 0, 0, //
                                           0, 0x400, 0, 0, 0, 0x400, 0, 0);
    return StepMasks{error, five};
}

HALVEX_WIDE_LANE_INLINE StepMasks edgeMasks(size_t step, int32_t width) {
    __mmask16 active = 0;
    for (int32_t k = 0; k < rowsAtOnce; ++k) {
        const int64_t x = static_cast<int64_t>(step) - static_cast<int64_t>(lag) * k;
        if (x >= 0 && x < width)
            active = static_cast<__mmask16>(active | (0xF << (4 * k)));
    }
    const StepMasks full = fullMasks();
    return StepMasks{_mm256_maskz_mov_epi16(active, full.error),
                     _mm256_maskz_mov_epi16(active, full.fiveBitGreen)};
}

// A step's working values and error. received: what each cell has from the
// rows above, known a step ahead; along: what it has from earlier pixels of
// its row, just made. clamped gets input + received + along clamped at 65535
// (saturating adds of values that are not negative may be taken in any
// order); the result is the error the masking leaves. Green takes 5 bits
// under compensation when it equals red (clamped) or blue before clamping:
// the comparisons are made in green's lane, against red and blue moved
// there, and a branch on their outcome lets the next step start on the
// 6-bit error meanwhile.
template <bool compensate>
HALVEX_WIDE_LANE_INLINE __m256i quantiseStep(const __m256i& input, const __m256i& received,
                                             const __m256i& along, const StepMasks& masks,
                                             __m256i& clamped) {
    clamped = _mm256_adds_epu16(_mm256_adds_epu16(input, received), along);
    const __m256i sixBitError = _mm256_and_si256(clamped, masks.error);
    if (!compensate)
        return sixBitError;
    const __m256i wrapped = _mm256_add_epi16(_mm256_add_epi16(input, received), along);
    // Turning a pixel's 64 bits by one lane brings red, or blue, to green.
    const __m256i equalRed = _mm256_cmpeq_epi16(clamped, _mm256_rol_epi64(clamped, 16));
    const __m256i equalBlue = _mm256_cmpeq_epi16(clamped, _mm256_ror_epi64(clamped, 16));
    const __m256i blueNotOver = _mm256_cmpeq_epi16(clamped, _mm256_ror_epi64(wrapped, 16));
    // equalRed | (equalBlue & blueNotOver)
    const __m256i five = _mm256_ternarylogic_epi64(equalRed, equalBlue, blueNotOver, 0xF8);
    // The bit a green taking 5 bits adds to its error, where it is set.
    const __m256i added = _mm256_ternarylogic_epi64(five, clamped, masks.fiveBitGreen, 0x80);
    // Mostly there is none, and the branch keeps the test off the chain.
    if (__builtin_expect(_mm256_testz_si256(added, added), 1))
        return sixBitError;
    return _mm256_or_si256(sixBitError, added);
}

// The step's four words: each channel's level (what the error leaves) moved
// to its field and the three added.
HALVEX_WIDE_LANE_INLINE void putWords(const __m256i& clamped, const __m256i& error, uint8_t* to) {
    const __m256i levels = _mm256_xor_si256(clamped, error);
    const __m256i toFieldBits = _mm256_setr_epi16(32, 64, 32, 0, 32, 64, 32, 0, //
                                                  32, 64, 32, 0, 32, 64, 32, 0);
    const __m256i toFields = _mm256_setr_epi16(2048, 32, 1, 0, 2048, 32, 1, 0, //
                                               2048, 32, 1, 0, 2048, 32, 1, 0);
    const __m256i halves = _mm256_madd_epi16(_mm256_mulhi_epu16(levels, toFieldBits), toFields);
    const __m256i words = _mm256_add_epi32(halves, _mm256_srli_epi64(halves, 32));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm256_maskz_cvtepi64_epi16(0xF, words));
}

// Row 0's value for this step in the lowest slot, each other row's the slot
// of the row above it in `above`.
HALVEX_WIDE_LANE_INLINE __m256i fromRowAbove(const __m256i& above, const uint8_t* rowZero) {
    int64_t lanes;
    memcpy(&lanes, rowZero, sizeof lanes);
    return _mm256_alignr_epi64(above, _mm256_set1_epi64x(lanes), 3);
}

// The last row's slot widened into a run's array.
HALVEX_WIDE_LANE_INLINE void putLastRow(const __m256i& v, int32_t* to) {
    const __m128i high = _mm256_extracti128_si256(v, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpackhi_epi16(high, _mm_setzero_si128()));
}

// e x n/16, rounded down, as the high half of e x (n x 4096): one multiply.
HALVEX_WIDE_LANE_INLINE __m256i shareOf(const __m256i& error, int32_t sixteenths) {
    return _mm256_mulhi_epu16(error, _mm256_set1_epi16(static_cast<int16_t>(sixteenths << 12)));
}

// Floyd-Steinberg's state, each row's in its slot, as in the single-row
// step: 7/16 of the last error for the next pixel, the sums for the cells
// below the previous pixel and below this one; and the cells completed for
// the row below in the last step, which that row takes in the next.
struct FloydSteinbergRows {
    __m256i next;
    __m256i belowPrevious;
    __m256i belowThis;
    __m256i received;      // from above, for this step
    __m256i lastCompleted; // the row below's in the next step
};

template <bool compensate, bool edge>
HALVEX_WIDE_LANE_INLINE void floydSteinbergStep(FloydSteinbergRows& s, const Scratch& scratch,
                                                size_t t, int32_t width, int32_t* below) {
    const StepMasks masks = edge ? edgeMasks(t, width) : fullMasks();
    const __m256i input =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(scratch.steps + t * stepBytes));
    __m256i clamped;
    const __m256i e = quantiseStep<compensate>(input, s.received, s.next, masks, clamped);
    s.next = shareOf(e, 7);
    const __m256i completed = _mm256_add_epi16(s.belowPrevious, shareOf(e, 3));
    s.belowPrevious = _mm256_add_epi16(s.belowThis, shareOf(e, 5));
    s.belowThis = _mm256_srli_epi16(e, 4);
    s.received = fromRowAbove(s.lastCompleted, scratch.received + (t + 1) * pixelBytes);
    s.lastCompleted = completed;
    putWords(clamped, e, scratch.words + t * pixelBytes);
    // The last row completes the cell below its previous pixel.
    if (!edge || t >= static_cast<size_t>(lastRowLag))
        putLastRow(completed, below + arrayLanes * (static_cast<int64_t>(t) - lastRowLag - 1));
}

// The words are gathered into their rows after the steps, in a burst of
// stores that would wait on every line of the rows not yet in the cache.
// The steps have time to spare, so they fetch those lines for writing
// meanwhile: one line of one of the four rows every eight steps covers
// them all.
HALVEX_WIDE_LANE_INLINE void fetchWordsAhead(uint8_t* out, size_t outRow, size_t t) {
    if (t % 8 == 0)
        __builtin_prefetch(out + (t / 8 % rowsAtOnce) * outRow + 2 * t, 1);
}

// The steps near the ends, where some rows have no pixel, take masks made
// for them; those between, full ones.
struct StepRange {
    size_t firstFull;
    size_t endFull;
    size_t count;
};

StepRange stepRangeOf(int32_t width) {
    const size_t count = stepCount(width);
    const size_t firstFull = count < static_cast<size_t>(lastRowLag) ? count : lastRowLag;
    const size_t endFull = static_cast<size_t>(width) > firstFull ? width : firstFull;
    return StepRange{firstFull, endFull, count};
}

template <bool compensate>
[[gnu::noinline]] HALVEX_WIDE_LANE_TARGET void
floydSteinbergGroup(const uint8_t* const rows[4], const int32_t* error, int32_t* below,
                    int32_t width, uint8_t* out, size_t outRow, uint8_t* base) {
    const Scratch scratch = scratchOf(base, width);
    spreadPixels(rows, width, scratch.steps);
    narrowArray(error, 0, width, 0, scratch.received, arrayEntries(width));
    FloydSteinbergRows s{};
    s.received = fromRowAbove(_mm256_setzero_si256(), scratch.received);
    const StepRange steps = stepRangeOf(width);
    size_t t = 0;
    for (; t < steps.firstFull; ++t)
        floydSteinbergStep<compensate, true>(s, scratch, t, width, below);
    for (; t < steps.endFull; ++t) {
        floydSteinbergStep<compensate, false>(s, scratch, t, width, below);
        fetchWordsAhead(out, outRow, t);
    }
    for (; t < steps.count; ++t)
        floydSteinbergStep<compensate, true>(s, scratch, t, width, below);
    gatherWords(scratch.words, width, out, outRow);
}

// Atkinson-Boyle's state, as in the single-row step, with each row's last
// four eighths (row k + 2 takes row k's four steps later) and the cells
// completed for the row below in the last step.
struct AtkinsonBoyleRows {
    __m256i lastShare;   // the previous pixel's, which this one receives
    __m256i shareBefore; // the one before that, which it receives too
    __m256i belowPrevious;
    __m256i belowThis;
    __m256i received;
    __m256i lastCompleted;
    __m256i shares[4]; // of the last step, the one before, and so on
};

template <bool compensate, bool edge>
HALVEX_WIDE_LANE_INLINE void atkinsonBoyleStep(AtkinsonBoyleRows& s, const Scratch& scratch,
                                               size_t t, int32_t width, int32_t* below,
                                               int32_t* twoBelow) {
    const StepMasks masks = edge ? edgeMasks(t, width) : fullMasks();
    const __m256i input =
        _mm256_load_si256(reinterpret_cast<const __m256i*>(scratch.steps + t * stepBytes));
    __m256i clamped;
    // The earlier pixel's share is added with what came from above, a step
    // ahead; only the last pixel's waits for the last step.
    const __m256i e = quantiseStep<compensate>(input, _mm256_add_epi16(s.received, s.shareBefore),
                                               s.lastShare, masks, clamped);
    const __m256i share = _mm256_srli_epi16(e, 3);
    s.shareBefore = s.lastShare;
    s.lastShare = share;
    // What the cell below the previous pixel had from two rows up: row 0's
    // from the array, each other row's from the row above the one above it.
    const __m256i earlier = fromRowAbove(s.shares[3], scratch.twoUp + t * pixelBytes);
    const __m256i completed = _mm256_add_epi16(_mm256_add_epi16(earlier, s.belowPrevious), share);
    s.belowPrevious = _mm256_add_epi16(s.belowThis, share);
    s.belowThis = share;
    s.shares[3] = s.shares[2];
    s.shares[2] = s.shares[1];
    s.shares[1] = s.shares[0];
    s.shares[0] = share;
    s.received = fromRowAbove(s.lastCompleted, scratch.received + (t + 1) * pixelBytes);
    s.lastCompleted = completed;
    putWords(clamped, e, scratch.words + t * pixelBytes);
    if (!edge || t >= static_cast<size_t>(lastRowLag)) {
        const int64_t x = static_cast<int64_t>(t) - lastRowLag;
        putLastRow(completed, below + arrayLanes * (x - 1));
        if (!edge || x < width)
            putLastRow(share, twoBelow + arrayLanes * x);
    }
}

template <bool compensate>
[[gnu::noinline]] HALVEX_WIDE_LANE_TARGET void
atkinsonBoyleGroup(const uint8_t* const rows[4], const int32_t* error, const int32_t* fromTwoUp,
                   int32_t* below, int32_t* twoBelow, int32_t width, uint8_t* out, size_t outRow,
                   uint8_t* base) {
    const Scratch scratch = scratchOf(base, width);
    spreadPixels(rows, width, scratch.steps);
    narrowArray(error, 0, width, 0, scratch.received, arrayEntries(width));
    narrowArray(fromTwoUp, -1, width, 1, scratch.twoUp, arrayEntries(width));
    AtkinsonBoyleRows s{};
    s.received = fromRowAbove(_mm256_setzero_si256(), scratch.received);
    const StepRange steps = stepRangeOf(width);
    size_t t = 0;
    for (; t < steps.firstFull; ++t)
        atkinsonBoyleStep<compensate, true>(s, scratch, t, width, below, twoBelow);
    for (; t < steps.endFull; ++t) {
        atkinsonBoyleStep<compensate, false>(s, scratch, t, width, below, twoBelow);
        fetchWordsAhead(out, outRow, t);
    }
    for (; t < steps.count; ++t)
        atkinsonBoyleStep<compensate, true>(s, scratch, t, width, below, twoBelow);
    gatherWords(scratch.words, width, out, outRow);
}

// Single rows, for serpentine runs. The share for the next pixel is a
// multiply taking the high half (e x 7/16 as e x 28672 / 65536). Green's
// compensation test is kept off the chain from pixel to pixel: a quick
// comparison (green equal to red, or to blue clamped) that every pixel
// taking 5 bits passes, and a branch to the exact test only then.
//
// What a row pass reads and fills: the row's pixels and words, and the
// run's 16-bit error arrays (four lanes a pixel, pointing at pixel 0, with a
// group in front and one behind).
struct Line {
    const uint8_t* in;
    const uint16_t* received;
    const uint16_t* twoUp;
    uint16_t* below; // Atkinson-Boyle: the row's errors first
    uint16_t* twoBelow;
    uint8_t* out;
};

// A pixel's word from its levels (red, green, blue in the low three
// lanes), stored as it is made: the row's stores are spread over its chain
// of steps rather than made in a burst after it.
HALVEX_WIDE_LANE_INLINE void putWord(uint8_t* out, std::ptrdiff_t x, const __m128i& levels) {
    const auto lanes = static_cast<uint64_t>(_mm_cvtsi128_si64(levels));
    const auto word =
        static_cast<uint16_t>((lanes & 0xFFFF) | ((lanes >> 21) & 0x7E0) | (lanes >> 43));
    memcpy(out + 2 * x, &word, sizeof word);
}

// A pixel's channels x 257 from one 4-byte load (the byte after the pixel
// is always there: quantise_rows.cpp keeps the last row with a spare one).
HALVEX_WIDE_LANE_INLINE __m128i readPixel(const uint8_t* in, std::ptrdiff_t x) {
    int32_t bytes;
    memcpy(&bytes, in + 3 * x, sizeof bytes);
    const __m128i doubled = _mm_setr_epi8(0, 0, 1, 1, 2, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm_shuffle_epi8(_mm_cvtsi32_si128(bytes), doubled);
}

HALVEX_WIDE_LANE_INLINE __m128i loadPixel(const uint16_t* from, std::ptrdiff_t x) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + 4 * x));
}

HALVEX_WIDE_LANE_INLINE void storePixel(uint16_t* to, std::ptrdiff_t x, const __m128i& v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to + 4 * x), v);
}

// A pixel's error: input + received + along clamped, masked with green on 6
// bits unless compensation gives it 5 (as quantiseStep decides it, here for
// one pixel and only where the quick comparison passes).
template <bool compensate>
HALVEX_WIDE_LANE_INLINE __m128i quantisePixel(const __m128i& input, const __m128i& received,
                                              const __m128i& along, __m128i& clamped) {
    const __m128i sixBit = _mm_setr_epi16(0x7FF, 0x3FF, 0x7FF, 0, 0, 0, 0, 0);
    clamped = _mm_adds_epu16(_mm_adds_epu16(input, received), along);
    const __m128i e = _mm_and_si128(clamped, sixBit);
    if (!compensate)
        return e;
    // Green in the red and blue lanes.
    const __m128i green = _mm_shufflelo_epi16(clamped, 0x55);
    if (__builtin_expect((_mm_movemask_epi8(_mm_cmpeq_epi16(clamped, green)) & 0x33) == 0, 1))
        return e;
    const __m128i wrapped = _mm_add_epi16(_mm_add_epi16(input, received), along);
    const bool equalRed = _mm_extract_epi16(clamped, 0) == _mm_extract_epi16(clamped, 1);
    const bool equalBlue = _mm_extract_epi16(wrapped, 2) == _mm_extract_epi16(clamped, 1) &&
                           _mm_extract_epi16(wrapped, 2) == _mm_extract_epi16(clamped, 2);
    if (!equalRed && !equalBlue)
        return e;
    return _mm_and_si128(clamped, _mm_setr_epi16(0x7FF, 0x7FF, 0x7FF, 0, 0, 0, 0, 0));
}

HALVEX_WIDE_LANE_INLINE __m128i lineShare(const __m128i& error, int32_t sixteenths) {
    return _mm_mulhi_epu16(error, _mm_set1_epi16(static_cast<int16_t>(sixteenths << 12)));
}

// A row walked left to right (step 1) or right to left (step -1): its
// first pixel, and the place just past its last.
template <int step> constexpr std::ptrdiff_t firstOfRow(int32_t width) {
    return step > 0 ? 0 : width - 1;
}
template <int step> constexpr std::ptrdiff_t pastRow(int32_t width) {
    return step > 0 ? width : -1;
}

// Floyd-Steinberg's chain (add, masking, multiply) is the longer, and leaves
// room beside it for the rest of each pixel's work: below gets, at x - step,
// the cell below the previous pixel, complete.
template <bool compensate, int step>
[[gnu::noinline]] HALVEX_WIDE_LANE_TARGET void floydSteinbergLine(Line line, int32_t width) {
    __m128i next{};
    __m128i belowPrevious{};
    __m128i belowThis{};
    const std::ptrdiff_t end = pastRow<step>(width);
    for (std::ptrdiff_t x = firstOfRow<step>(width); x != end; x += step) {
        __m128i clamped;
        const __m128i e = quantisePixel<compensate>(readPixel(line.in, x),
                                                    loadPixel(line.received, x), next, clamped);
        next = lineShare(e, 7);
        storePixel(line.below, x - step, _mm_add_epi16(belowPrevious, lineShare(e, 3)));
        belowPrevious = _mm_add_epi16(belowThis, lineShare(e, 5));
        belowThis = _mm_srli_epi16(e, 4);
        putWord(line.out, x, _mm_xor_si128(clamped, e));
    }
    storePixel(line.below, end - step, belowPrevious);
}

// Atkinson-Boyle's chain (add, masking, shift) is short, and the rest of
// each pixel's work would hold it up: the row's walk only leaves each
// pixel's error in the array below, and a second pass, 8 pixels a step (a
// 512-bit register), works out from the errors each pixel's level and word
// and the cells of the rows below, over the errors in place. A step holds
// the errors of its pixels, of the 8 before and of the 8 after, read before
// they are written over; past the row's ends they are 0.
template <bool compensate, int step>
HALVEX_WIDE_LANE_INLINE void atkinsonBoyleChain(const Line& line, int32_t width) {
    __m128i lastShare{};
    __m128i shareBefore{};
    const std::ptrdiff_t end = pastRow<step>(width);
    for (std::ptrdiff_t x = firstOfRow<step>(width); x != end; x += step) {
        __m128i clamped;
        // As in atkinsonBoyleStep, only the last pixel's share waits.
        const __m128i e = quantisePixel<compensate>(
            readPixel(line.in, x), _mm_add_epi16(loadPixel(line.received, x), shareBefore),
            lastShare, clamped);
        shareBefore = lastShare;
        lastShare = _mm_srli_epi16(e, 3);
        storePixel(line.below, x, e);
    }
}

constexpr int32_t pixelsAtOnce = 8;

// The pixels of a step from x: 8, or as many as are left.
HALVEX_WIDE_LANE_INLINE __mmask8 pixelsFrom(std::ptrdiff_t x, int32_t width) {
    const std::ptrdiff_t left = width - x;
    if (left <= 0)
        return 0;
    return left >= pixelsAtOnce ? __mmask8{0xFF} : static_cast<__mmask8>((1U << left) - 1);
}

HALVEX_WIDE_LANE_INLINE __m512i loadPixels(const uint16_t* from, std::ptrdiff_t x, __mmask8 m) {
    return _mm512_maskz_loadu_epi64(m, from + 4 * x);
}

HALVEX_WIDE_LANE_INLINE void storePixels(uint16_t* to, std::ptrdiff_t x, __mmask8 m,
                                         const __m512i& v) {
    _mm512_mask_storeu_epi64(to + 4 * x, m, v);
}

// Up to 8 pixels' channels x 257 from their bytes, each byte doubled into
// its lane (b * 256 + b), the fourth lane 0.
HALVEX_WIDE_LANE_INLINE __m512i readPixels(const uint8_t* in, std::ptrdiff_t x, int32_t width) {
    alignas(64) static constexpr uint8_t byteOf[64] = {
        0,  0,  1,  1,  2,  2,  0, 0, 3,  3,  4,  4,  5,  5,  0, 0, //
        6,  6,  7,  7,  8,  8,  0, 0, 9,  9,  10, 10, 11, 11, 0, 0, //
        12, 12, 13, 13, 14, 14, 0, 0, 15, 15, 16, 16, 17, 17, 0, 0, //
        18, 18, 19, 19, 20, 20, 0, 0, 21, 21, 22, 22, 23, 23, 0, 0};
    const __mmask64 channelBytes = 0x3F3F3F3F3F3F3F3FULL;
    const std::ptrdiff_t pixels = width - x < pixelsAtOnce ? width - x : pixelsAtOnce;
    const uint8_t* at = in + 3 * x;
    // A 32-byte load where it stays in the row, else only the pixels' bytes.
    const __m256i raw =
        x + 11 <= width
            ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at))
            : _mm256_maskz_loadu_epi8(static_cast<__mmask32>((1ULL << (3 * pixels)) - 1), at);
    const __m512i bytes = _mm512_maskz_inserti64x4(0xFF, _mm512_setzero_si512(), raw, 0);
    return _mm512_maskz_permutexvar_epi8(channelBytes, _mm512_load_si512(byteOf), bytes);
}

// Up to 8 words from their pixels' levels (red, green, blue in the low
// three lanes of each 64 bits).
HALVEX_WIDE_LANE_INLINE void putWords(uint8_t* out, std::ptrdiff_t x, __mmask8 m,
                                      const __m512i& levels) {
    const __m512i words =
        _mm512_ternarylogic_epi64(levels, _mm512_maskz_srli_epi64(0xFF, levels, 21),
                                  _mm512_maskz_srli_epi64(0xFF, levels, 43), 0xFE);
    _mm_mask_storeu_epi16(out + 2 * x, m, _mm512_maskz_cvtepi64_epi16(0xFF, words));
}

// The eighths of a step's errors and of those 1 and 2 places either side.
struct Eighths {
    __m512i twoLeft;
    __m512i left;
    __m512i here;
    __m512i right;
    __m512i twoRight;
};

HALVEX_WIDE_LANE_INLINE __m512i eighths(const __m512i& errors) {
    return _mm512_maskz_srli_epi16(0xFFFFFFFF, errors, 3);
}

HALVEX_WIDE_LANE_INLINE Eighths eighthsOf(const __m512i& before, const __m512i& here,
                                          const __m512i& after) {
    const __m512i zero = _mm512_setzero_si512();
    return Eighths{eighths(_mm512_maskz_alignr_epi64(0xFF, here, before, 6)),
                   eighths(_mm512_maskz_alignr_epi64(0xFF, here, before, 7)), eighths(here),
                   eighths(_mm512_mask_alignr_epi64(zero, 0xFF, after, here, 1)),
                   eighths(_mm512_mask_alignr_epi64(zero, 0xFF, after, here, 2))};
}

// One step of the second pass from x. Each pixel's working value is, as on
// the walk, its input and what it received plus the eighths of the two
// pixels before it in the row's direction, clamped; the cell below it gets
// what it had from two rows up and the eighths of the three pixels above
// it, and the cell two rows below its own eighth. whole: the step and the
// next one are all in the row.
template <int step, bool whole>
HALVEX_WIDE_LANE_INLINE void finishAtkinsonBoyleStep(const Line& line, std::ptrdiff_t x,
                                                     int32_t width, __m512i& before,
                                                     __m512i& here) {
    const __mmask8 m = whole ? __mmask8{0xFF} : pixelsFrom(x, width);
    const __m512i after = loadPixels(line.below, x + pixelsAtOnce,
                                     whole ? __mmask8{0xFF} : pixelsFrom(x + pixelsAtOnce, width));
    const Eighths s = eighthsOf(before, here, after);
    const __m512i fromEarlier =
        _mm512_adds_epu16(loadPixels(line.received, x, m), step > 0 ? s.twoLeft : s.twoRight);
    const __m512i sum = _mm512_adds_epu16(readPixels(line.in, x, width), fromEarlier);
    const __m512i clamped = _mm512_adds_epu16(sum, step > 0 ? s.left : s.right);
    putWords(line.out, x, m, _mm512_xor_si512(clamped, here));
    const __m512i cell = _mm512_add_epi16(
        _mm512_add_epi16(loadPixels(line.twoUp, x, m), _mm512_add_epi16(s.left, s.here)), s.right);
    storePixels(line.below, x, m, cell);
    storePixels(line.twoBelow, x, m, s.here);
    before = here;
    here = after;
}

template <int step>
HALVEX_WIDE_LANE_INLINE void finishAtkinsonBoyleRow(const Line& line, int32_t width) {
    __m512i before = _mm512_setzero_si512();
    __m512i here = loadPixels(line.below, 0, pixelsFrom(0, width));
    constexpr std::ptrdiff_t twoSteps = std::ptrdiff_t{2} * pixelsAtOnce;
    std::ptrdiff_t x = 0;
    for (; x + twoSteps <= width; x += pixelsAtOnce)
        finishAtkinsonBoyleStep<step, true>(line, x, width, before, here);
    for (; x < width; x += pixelsAtOnce)
        finishAtkinsonBoyleStep<step, false>(line, x, width, before, here);
}

template <bool compensate, int step>
[[gnu::noinline]] HALVEX_WIDE_LANE_TARGET void atkinsonBoyleLine(Line line, int32_t width) {
    atkinsonBoyleChain<compensate, step>(line, width);
    finishAtkinsonBoyleRow<step>(line, width);
}

using LinePass = void (*)(Line, int32_t);

// The plain and ordered passes, 64 pixels a step in byte lanes: the 192
// bytes of 64 pixels are sorted into their red, green and blue bytes, each
// channel's level is worked out in its lane, and the levels are widened
// into words. Under ordered dithering a level is the value's lower level,
// plus one where the pixel's Bayer index is below the value's count, each
// looked up in a 256-byte table as two halves of 128 (the value's top bit
// chooses the half).
struct ByteTable {
    __m512i quarter[4];
};

HALVEX_WIDE_LANE_INLINE ByteTable byteTableOf(const uint8_t* table) {
    ByteTable t{};
    for (int32_t q = 0; q < 4; ++q)
        t.quarter[q] = _mm512_loadu_si512(table + 64 * static_cast<size_t>(q));
    return t;
}

HALVEX_WIDE_LANE_INLINE __m512i lookUp(const ByteTable& t, const __m512i& values) {
    const __m512i low = _mm512_permutex2var_epi8(t.quarter[0], values, t.quarter[1]);
    const __m512i high = _mm512_permutex2var_epi8(t.quarter[2], values, t.quarter[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(values), low, high);
}

HALVEX_WIDE_LANE_INLINE __m512i levelsOf(const ByteTable& lower, const ByteTable& count,
                                         const __m512i& values, const __m512i& indices) {
    const __m512i level = lookUp(lower, values);
    const __mmask64 up = _mm512_cmplt_epu8_mask(indices, lookUp(count, values));
    return _mm512_mask_add_epi8(level, up, level, _mm512_set1_epi8(1));
}

// Byte c of each of 64 pixels, from three registers of their bytes: those
// within the first 128 bytes, then the rest from the third.
struct ChannelPick {
    __m512i fromFirstTwo;
    __m512i fromThird;
    __mmask64 inThird;
};

ChannelPick channelPick(int32_t c) {
    alignas(64) uint8_t first[64];
    alignas(64) uint8_t third[64];
    __mmask64 inThird = 0;
    for (int32_t i = 0; i < 64; ++i) {
        const int32_t at = 3 * i + c;
        first[i] = static_cast<uint8_t>(at & 127);
        third[i] = static_cast<uint8_t>(at >= 128 ? at - 128 : 0);
        if (at >= 128)
            inThird |= __mmask64{1} << i;
    }
    ChannelPick pick{};
    memcpy(&pick.fromFirstTwo, first, sizeof first);
    memcpy(&pick.fromThird, third, sizeof third);
    pick.inThird = inThird;
    return pick;
}

HALVEX_WIDE_LANE_INLINE __m512i channelOf(const ChannelPick& pick, const __m512i bytes[3]) {
    const __m512i firstTwo = _mm512_permutex2var_epi8(bytes[0], pick.fromFirstTwo, bytes[1]);
    return _mm512_mask_permutexvar_epi8(firstTwo, pick.inThird, pick.fromThird, bytes[2]);
}

// Half of a register's bytes (0: the low 32, 1: the high 32) widened to
// 16-bit lanes.
HALVEX_WIDE_LANE_INLINE __m512i widenedHalf(const __m512i& bytes, int32_t half) {
    const __m256i part = half == 0 ? _mm512_maskz_extracti64x4_epi64(0xF, bytes, 0)
                                   : _mm512_maskz_extracti64x4_epi64(0xF, bytes, 1);
    return _mm512_cvtepu8_epi16(part);
}

// The words of 32 pixels from their levels, half of each register.
HALVEX_WIDE_LANE_INLINE __m512i wordsOf(const __m512i& red, const __m512i& green,
                                        const __m512i& blue, int32_t half) {
    const __m512i r = _mm512_slli_epi16(widenedHalf(red, half), 11);
    const __m512i g = _mm512_slli_epi16(widenedHalf(green, half), 5);
    return _mm512_ternarylogic_epi64(r, g, widenedHalf(blue, half), 0xFE); // r | g | b
}

// A byte lane's top bits, as a level: value >> shift.
HALVEX_WIDE_LANE_INLINE __m512i topBits(const __m512i& values, int32_t shift) {
    const __m512i shifted = _mm512_srl_epi16(values, _mm_cvtsi32_si128(shift));
    return _mm512_and_si512(shifted, _mm512_set1_epi8(static_cast<char>(0xFF >> shift)));
}

// The red, green and blue bytes of 64 pixels.
struct SixtyFourPixels {
    __m512i red;
    __m512i green;
    __m512i blue;
};

HALVEX_WIDE_LANE_INLINE SixtyFourPixels sixtyFourPixelsAt(const uint8_t* p) {
    static const ChannelPick picks[3] = {channelPick(0), channelPick(1), channelPick(2)};
    const __m512i bytes[3] = {_mm512_loadu_si512(p), _mm512_loadu_si512(p + 64),
                              _mm512_loadu_si512(p + 128)};
    return SixtyFourPixels{channelOf(picks[0], bytes), channelOf(picks[1], bytes),
                           channelOf(picks[2], bytes)};
}

// Under compensation a green equal to red or blue takes 5 bits, twice the
// level in its 6-bit field.
HALVEX_WIDE_LANE_INLINE __mmask64 fiveBitGreens(const SixtyFourPixels& px) {
    return _mm512_cmpeq_epi8_mask(px.green, px.red) | _mm512_cmpeq_epi8_mask(px.green, px.blue);
}

HALVEX_WIDE_LANE_INLINE void putSixtyFourWords(const __m512i& red, const __m512i& green,
                                               const __m512i& blue, uint8_t* to) {
    _mm512_storeu_si512(to, wordsOf(red, green, blue, 0));
    _mm512_storeu_si512(to + 64, wordsOf(red, green, blue, 1));
}

// The plain pass: each field the top bits of its channel.
template <bool compensate>
[[gnu::noinline]] HALVEX_WIDE_LANE_TARGET int32_t plainPixelsIn(const uint8_t* in, int32_t width,
                                                                uint8_t* out) {
    int32_t x = 0;
    for (; x + 64 <= width; x += 64) {
        const SixtyFourPixels px = sixtyFourPixelsAt(in + 3 * static_cast<size_t>(x));
        __m512i green = topBits(px.green, 2);
        if (compensate) {
            const __m512i fiveGreen = topBits(px.green, 3);
            green = _mm512_mask_add_epi8(green, fiveBitGreens(px), fiveGreen, fiveGreen);
        }
        putSixtyFourWords(topBits(px.red, 3), green, topBits(px.blue, 3),
                          out + 2 * static_cast<size_t>(x));
    }
    return x;
}

template <bool compensate>
[[gnu::noinline]] HALVEX_WIDE_LANE_TARGET int32_t orderedPixelsIn(const uint8_t* in, int32_t width,
                                                                  const uint8_t* indices,
                                                                  const OrderedLevelTables& tables,
                                                                  uint8_t* out) {
    const ByteTable fiveLower = byteTableOf(tables.fiveLower);
    const ByteTable fiveCount = byteTableOf(tables.fiveCount);
    const ByteTable sixLower = byteTableOf(tables.sixLower);
    const ByteTable sixCount = byteTableOf(tables.sixCount);
    int64_t eight;
    memcpy(&eight, indices, sizeof eight);
    // Each pixel's Bayer index: the steps start at multiples of 8.
    const __m512i index = _mm512_set1_epi64(eight);
    int32_t x = 0;
    for (; x + 64 <= width; x += 64) {
        const SixtyFourPixels px = sixtyFourPixelsAt(in + 3 * static_cast<size_t>(x));
        __m512i green = levelsOf(sixLower, sixCount, px.green, index);
        if (compensate) {
            const __mmask64 five = fiveBitGreens(px);
            if (five != 0) {
                const __m512i fiveGreen = levelsOf(fiveLower, fiveCount, px.green, index);
                green = _mm512_mask_add_epi8(green, five, fiveGreen, fiveGreen);
            }
        }
        putSixtyFourWords(levelsOf(fiveLower, fiveCount, px.red, index), green,
                          levelsOf(fiveLower, fiveCount, px.blue, index),
                          out + 2 * static_cast<size_t>(x));
    }
    return x;
}

} // namespace

bool wideLanePasses() {
    return processorHasThem();
}

size_t fourRowScratchBytes(int32_t width) {
    return scratchBytes(width);
}

void floydSteinbergLineRow(const uint8_t* in, const uint16_t* error, uint16_t* below, int32_t width,
                           uint8_t* out, bool compensate, bool rightToLeft) {
    Line line{};
    line.in = in;
    line.received = error;
    line.below = below;
    line.out = out;
    const LinePass passes[2][2] = {{floydSteinbergLine<false, 1>, floydSteinbergLine<false, -1>},
                                   {floydSteinbergLine<true, 1>, floydSteinbergLine<true, -1>}};
    passes[compensate ? 1 : 0][rightToLeft ? 1 : 0](line, width);
}

void atkinsonBoyleLineRow(const uint8_t* in, const uint16_t* error, const uint16_t* fromTwoUp,
                          uint16_t* below, uint16_t* twoBelow, int32_t width, uint8_t* out,
                          bool compensate, bool rightToLeft) {
    Line line{};
    line.in = in;
    line.received = error;
    line.twoUp = fromTwoUp;
    line.below = below;
    line.twoBelow = twoBelow;
    line.out = out;
    const LinePass passes[2][2] = {{atkinsonBoyleLine<false, 1>, atkinsonBoyleLine<false, -1>},
                                   {atkinsonBoyleLine<true, 1>, atkinsonBoyleLine<true, -1>}};
    passes[compensate ? 1 : 0][rightToLeft ? 1 : 0](line, width);
}

void floydSteinbergFourRows(const uint8_t* const rows[4], const int32_t* error, int32_t* below,
                            int32_t width, uint8_t* out, size_t outRow, bool compensate,
                            uint8_t* scratch) {
    if (compensate)
        floydSteinbergGroup<true>(rows, error, below, width, out, outRow, scratch);
    else
        floydSteinbergGroup<false>(rows, error, below, width, out, outRow, scratch);
}

void atkinsonBoyleFourRows(const uint8_t* const rows[4], const int32_t* error,
                           const int32_t* fromTwoUp, int32_t* below, int32_t* twoBelow,
                           int32_t width, uint8_t* out, size_t outRow, bool compensate,
                           uint8_t* scratch) {
    if (compensate)
        atkinsonBoyleGroup<true>(rows, error, fromTwoUp, below, twoBelow, width, out, outRow,
                                 scratch);
    else
        atkinsonBoyleGroup<false>(rows, error, fromTwoUp, below, twoBelow, width, out, outRow,
                                  scratch);
}

int32_t orderedPixels(const uint8_t* in, int32_t width, const uint8_t* indices,
                      const OrderedLevelTables& levels, bool compensate, uint8_t* out) {
    return compensate ? orderedPixelsIn<true>(in, width, indices, levels, out)
                      : orderedPixelsIn<false>(in, width, indices, levels, out);
}

int32_t plainPixels(const uint8_t* in, int32_t width, bool compensate, uint8_t* out) {
    return compensate ? plainPixelsIn<true>(in, width, out) : plainPixelsIn<false>(in, width, out);
}

#else

bool wideLanePasses() {
    return false;
}

size_t fourRowScratchBytes(int32_t) {
    return 0;
}

void floydSteinbergLineRow(const uint8_t*, const uint16_t*, uint16_t*, int32_t, uint8_t*, bool,
                           bool) {}

void atkinsonBoyleLineRow(const uint8_t*, const uint16_t*, const uint16_t*, uint16_t*, uint16_t*,
                          int32_t, uint8_t*, bool, bool) {}

int32_t orderedPixels(const uint8_t*, int32_t, const uint8_t*, const OrderedLevelTables&, bool,
                      uint8_t*) {
    return 0;
}

int32_t plainPixels(const uint8_t*, int32_t, bool, uint8_t*) {
    return 0;
}

void floydSteinbergFourRows(const uint8_t* const[4], const int32_t*, int32_t*, int32_t, uint8_t*,
                            size_t, bool, uint8_t*) {}

void atkinsonBoyleFourRows(const uint8_t* const[4], const int32_t*, const int32_t*, int32_t*,
                           int32_t*, int32_t, uint8_t*, size_t, bool, uint8_t*) {}

#endif
