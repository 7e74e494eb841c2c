#include "measure/figures.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numeric>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(__EMSCRIPTEN__)
#define HALVEX_LEVEL_SUMS_BY_32 1
#include <immintrin.h>
#else
#define HALVEX_LEVEL_SUMS_BY_32 0
#endif

namespace {

constexpr double pi = 3.14159265358979323846;

double radians(double degrees) {
    return degrees * (pi / 180.0);
}

double degreesOfAngle(double y, double x) {
    if (x == 0.0 && y == 0.0)
        return 0.0;
    const double d = std::atan2(y, x) * (180.0 / pi);
    return d < 0.0 ? d + 360.0 : d;
}

double seventhPower(double v) {
    const double v2 = v * v;
    return v2 * v2 * v2 * v;
}

// The sRGB transfer curve undone, for every 8-bit level.
struct LinearLevels {
    double level[256];
    LinearLevels() {
        for (int v = 0; v < 256; ++v) {
            const double c = v / 255.0;
            level[v] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
    }
};

const LinearLevels& linearLevels() {
    static const LinearLevels levels;
    return levels;
}

double labCurve(double t) {
    constexpr double delta = 6.0 / 29.0;
    return t > delta * delta * delta ? std::cbrt(t) : t / (3.0 * delta * delta) + 4.0 / 29.0;
}

} // namespace

LabColour labOfSrgb(uint8_t red, uint8_t green, uint8_t blue) {
    const LinearLevels& linear = linearLevels();
    const double r = linear.level[red];
    const double g = linear.level[green];
    const double b = linear.level[blue];
    // The sRGB primaries in XYZ; each row is divided by its sum, the D65
    // white of the same matrix, so that every grey has a = b = 0.
    const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.9504700;
    const double y = (0.2126729 * r + 0.7151522 * g + 0.0721750 * b) / 1.0000001;
    const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.0888300;
    const double fx = labCurve(x);
    const double fy = labCurve(y);
    const double fz = labCurve(z);
    return LabColour{116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

double ciede2000(const LabColour& first, const LabColour& second) {
    constexpr double twentyFiveToTheSeventh = 6103515625.0;
    const double c1 = std::sqrt(first.a * first.a + first.b * first.b);
    const double c2 = std::sqrt(second.a * second.a + second.b * second.b);
    const double meanC7 = seventhPower((c1 + c2) / 2.0);
    const double g = 0.5 * (1.0 - std::sqrt(meanC7 / (meanC7 + twentyFiveToTheSeventh)));
    const double a1 = (1.0 + g) * first.a;
    const double a2 = (1.0 + g) * second.a;
    const double c1p = std::sqrt(a1 * a1 + first.b * first.b);
    const double c2p = std::sqrt(a2 * a2 + second.b * second.b);
    const double h1 = degreesOfAngle(first.b, a1);
    const double h2 = degreesOfAngle(second.b, a2);
    const bool achromatic = c1p * c2p == 0.0;

    double dh = h2 - h1;
    if (achromatic)
        dh = 0.0;
    else if (dh > 180.0)
        dh -= 360.0;
    else if (dh < -180.0)
        dh += 360.0;
    const double dL = second.L - first.L;
    const double dC = c2p - c1p;
    const double dH = 2.0 * std::sqrt(c1p * c2p) * std::sin(radians(dh / 2.0));

    const double meanL = (first.L + second.L) / 2.0;
    const double meanCp = (c1p + c2p) / 2.0;
    double meanH = h1 + h2;
    if (!achromatic) {
        if (std::fabs(h1 - h2) <= 180.0)
            meanH = (h1 + h2) / 2.0;
        else if (h1 + h2 < 360.0)
            meanH = (h1 + h2 + 360.0) / 2.0;
        else
            meanH = (h1 + h2 - 360.0) / 2.0;
    }
    const double t =
        1.0 - 0.17 * std::cos(radians(meanH - 30.0)) + 0.24 * std::cos(radians(2.0 * meanH)) +
        0.32 * std::cos(radians(3.0 * meanH + 6.0)) - 0.20 * std::cos(radians(4.0 * meanH - 63.0));
    const double dTheta = 30.0 * std::exp(-((meanH - 275.0) / 25.0) * ((meanH - 275.0) / 25.0));
    const double meanCp7 = seventhPower(meanCp);
    const double rC = 2.0 * std::sqrt(meanCp7 / (meanCp7 + twentyFiveToTheSeventh));
    const double lFromMid = (meanL - 50.0) * (meanL - 50.0);
    const double sL = 1.0 + 0.015 * lFromMid / std::sqrt(20.0 + lFromMid);
    const double sC = 1.0 + 0.045 * meanCp;
    const double sH = 1.0 + 0.015 * meanCp * t;
    const double rT = -std::sin(radians(2.0 * dTheta)) * rC;
    const double l = dL / sL;
    const double c = dC / sC;
    const double h = dH / sH;
    return std::sqrt(l * l + c * c + h * h + rT * c * h);
}

bool isGreyWord(uint16_t word) {
    const unsigned red = word >> 11;
    const unsigned green = (word >> 5) & 0x3F;
    const unsigned blue = word & 0x1F;
    return green == 2 * red && red == blue;
}

bool psnrOf(const QualityFigures& figures, double* decibels) {
    if (figures.squaredError == 0)
        return false;
    const double samples = 3.0 * static_cast<double>(figures.pixels);
    *decibels =
        10.0 * std::log10(255.0 * 255.0 * samples / static_cast<double>(figures.squaredError));
    return true;
}

double meanDeltaEOf(const QualityFigures& figures) {
    return figures.pixels == 0 ? 0.0 : figures.deltaESum / static_cast<double>(figures.pixels);
}

double greyDriftOf(const QualityFigures& figures) {
    return figures.greyPixels == 0
               ? 0.0
               : static_cast<double>(figures.greyDrifted) / static_cast<double>(figures.greyPixels);
}

namespace {

// CIELAB of every pixel word, made once.
struct WordColours {
    LabColour lab[65536];
    WordColours() {
        for (uint32_t word = 0; word < 65536; ++word) {
            uint8_t rgb[3];
            widenWord(static_cast<uint16_t>(word), rgb);
            lab[word] = labOfSrgb(rgb[0], rgb[1], rgb[2]);
        }
    }
};

const WordColours& wordColours() {
    static const WordColours colours;
    return colours;
}

uint16_t wordAt(const uint8_t* words, int64_t index) {
    return static_cast<uint16_t>(words[2 * index] | (words[2 * index + 1] << 8));
}

uint32_t squaredErrorOf(const uint8_t* source, uint16_t word) {
    uint8_t rgb[3];
    widenWord(word, rgb);
    uint32_t sum = 0;
    for (int c = 0; c < 3; ++c) {
        const int32_t d = int32_t{rgb[c]} - int32_t{source[c]};
        sum += static_cast<uint32_t>(d * d);
    }
    return sum;
}

} // namespace

DeltaECache* newDeltaECache(int64_t pixels) {
    // 2^9 buckets, or 2^14 (3 MB) for pictures of more than 2^19 pixels: at
    // least 2^9, so that a key's colour bits fit in 16. On a 12-megapixel
    // photo the larger one misses little more than each pair's first use.
    const int32_t bucketBits = pixels > (int64_t{1} << 19) ? 14 : 9;
    const size_t buckets = size_t{1} << bucketBits;
    constexpr size_t line = 64;
    auto* cache = static_cast<DeltaECache*>(
        malloc(sizeof(DeltaECache) + line + buckets * (sizeof(DeltaECacheBucket) + 1)));
    if (cache == nullptr)
        return nullptr;
    const uintptr_t after = reinterpret_cast<uintptr_t>(cache + 1);
    cache->bucketBits = bucketBits;
    cache->buckets = reinterpret_cast<DeltaECacheBucket*>(reinterpret_cast<uint8_t*>(cache + 1) +
                                                          (line - after % line) % line);
    cache->oldest = reinterpret_cast<uint8_t*>(cache->buckets + buckets);
    for (size_t b = 0; b < buckets; ++b) {
        cache->oldest[b] = 0;
        std::fill(std::begin(cache->buckets[b].keys), std::end(cache->buckets[b].keys),
                  ~uint32_t{0});
        std::fill(std::begin(cache->buckets[b].deltaE), std::end(cache->buckets[b].deltaE), 0.0);
    }
    return cache;
}

namespace {

// The colour's 24 bits mixed one to one (an odd multiplier, then the high
// half folded into the low): the low bits choose the bucket and depend on
// every channel, the rest go into the key, and the two give back the colour.
uint32_t mixedColourOf(const uint8_t* rgb) {
    const uint32_t colour = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
    const uint32_t product = (colour * 0x9E3779B1u) & 0xFFFFFFu;
    return product ^ (product >> 12);
}

DeltaECacheBucket* bucketOf(const DeltaECache* cache, uint32_t mixedColour) {
    return cache->buckets + (mixedColour & ((1u << cache->bucketBits) - 1));
}

// The source pixel's colour in CIELAB, worked out on first use, and where
// its pairs are kept in the cache: its bucket, and its keys' colour bits
// (those that did not choose the bucket, at most 15) above the word's.
struct SourceColour {
    const uint8_t* rgb;
    DeltaECacheBucket* bucket; // null without a cache
    uint32_t colourKey;
    bool known;
    LabColour lab;
};

SourceColour sourceColourOf(const uint8_t* rgb, const DeltaECache* cache) {
    if (cache == nullptr)
        return SourceColour{rgb, nullptr, 0, false, LabColour{}};
    const uint32_t mixed = mixedColourOf(rgb);
    return SourceColour{rgb, bucketOf(cache, mixed), (mixed >> cache->bucketBits) << 16, false,
                        LabColour{}};
}

double deltaEOfPair(SourceColour* source, uint16_t word) {
    if (!source->known) {
        source->lab = labOfSrgb(source->rgb[0], source->rgb[1], source->rgb[2]);
        source->known = true;
    }
    return ciede2000(source->lab, wordColours().lab[word]);
}

// A bit for each of a bucket's entries that holds key.
uint32_t entriesWithKey(const uint32_t* keys, uint32_t key) {
    static_assert(deltaECacheBucketEntries == 16, "four groups of four keys");
#ifdef __SSE2__
    const __m128i wanted = _mm_set1_epi32(static_cast<int32_t>(key));
    __m128i four[4];
    memcpy(four, keys, sizeof four);
    // The sixteen comparisons narrowed to a byte each, so that one mask takes
    // them all.
    const __m128i low =
        _mm_packs_epi32(_mm_cmpeq_epi32(four[0], wanted), _mm_cmpeq_epi32(four[1], wanted));
    const __m128i high =
        _mm_packs_epi32(_mm_cmpeq_epi32(four[2], wanted), _mm_cmpeq_epi32(four[3], wanted));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
#else
    uint32_t found = 0;
    for (int32_t e = 0; e < deltaECacheBucketEntries; ++e)
        found |= (keys[e] == key ? 1u : 0u) << e;
    return found;
#endif
}

// Worked out and put in place of the bucket's oldest entry: a function of
// its own, so that the lookup, made for nearly every word, stays small
// where it is inlined.
[[gnu::noinline]] double addToCache(SourceColour* source, uint16_t word, DeltaECache* cache) {
    const double deltaE = deltaEOfPair(source, word);
    DeltaECacheBucket* bucket = source->bucket;
    uint8_t& oldest = cache->oldest[bucket - cache->buckets];
    bucket->keys[oldest] = source->colourKey | word;
    bucket->deltaE[oldest] = deltaE;
    oldest = static_cast<uint8_t>((oldest + 1) % deltaECacheBucketEntries);
    return deltaE;
}

// Looked up in the colour's bucket, or worked out and kept there.
[[gnu::always_inline]] inline double deltaEOf(SourceColour* source, uint16_t word,
                                              DeltaECache* cache) {
    const DeltaECacheBucket* bucket = source->bucket;
    if (bucket == nullptr)
        return deltaEOfPair(source, word);
    const uint32_t found = entriesWithKey(bucket->keys, source->colourKey | word);
    if (found != 0)
        return bucket->deltaE[__builtin_ctz(found)];
    return addToCache(source, word, cache);
}

// All of a bucket's lines: its keys, and the differences the keys find.
void prefetchBucket(const DeltaECacheBucket* bucket) {
    constexpr size_t line = 64;
    const auto* bytes = reinterpret_cast<const char*>(bucket);
    for (size_t at = 0; at < sizeof(DeltaECacheBucket); at += line)
        __builtin_prefetch(bytes + at);
}

// How many pixels ahead the cache's buckets are fetched.
constexpr int64_t prefetchDistance = 16;

// Measures `count` quantisations, a number known here, so that their sums
// stay in registers. The second of each pair (1 and 0, 3 and 2, ...) takes
// the first's difference where both gave the pixel the same word. Comparing
// every word with every earlier one would find a few more, but its branches
// go too many ways for the processor to guess, and that costs more than the
// lookups it saves. Each sum still grows pixel by pixel, in the picture's
// order.
template <int32_t count>
void measureDifferencesOf(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                          QualityFigures* figures, DeltaECache* cache) {
    double sum[count];
    double most[count];
    for (int32_t k = 0; k < count; ++k) {
        sum[k] = figures[k].deltaESum;
        most[k] = figures[k].deltaEMax;
    }
    for (int64_t i = 0; i < pixels; ++i, source += 3) {
        if (cache != nullptr && i + prefetchDistance < pixels)
            prefetchBucket(bucketOf(cache, mixedColourOf(source + 3 * prefetchDistance)));
        SourceColour colour = sourceColourOf(source, cache);
        uint16_t word[count]{};
        double deltaE[count]{};
        // Both loops unrolled, so that the words and differences stay in
        // registers.
#pragma GCC unroll 8
        for (int32_t k = 0; k < count; ++k) {
            word[k] = wordAt(words[k], i);
            const bool sameAsPartner = k % 2 == 1 && word[k - 1] == word[k];
            deltaE[k] = sameAsPartner ? deltaE[k - 1] : deltaEOf(&colour, word[k], cache);
        }
#pragma GCC unroll 8
        for (int32_t k = 0; k < count; ++k) {
            sum[k] += deltaE[k];
            if (deltaE[k] > most[k])
                most[k] = deltaE[k];
        }
    }
    for (int32_t k = 0; k < count; ++k) {
        figures[k].deltaESum = sum[k];
        figures[k].deltaEMax = most[k];
    }
}

} // namespace

void measureDifferences(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                        int32_t count, QualityFigures* figures, DeltaECache* cache) {
    // Up to measuredAtOnce quantisations go through the pixels together.
    int32_t k = 0;
    for (; count - k >= measuredAtOnce; k += measuredAtOnce)
        measureDifferencesOf<measuredAtOnce>(source, pixels, words + k, figures + k, cache);
    for (; k < count; ++k)
        measureDifferencesOf<1>(source, pixels, words + k, figures + k, cache);
}

namespace {

// The source pixels of a chunk as separate channels, and whether each is
// grey (all ones) or not (zero), so that every quantisation's words are
// measured against them eight at a time.
constexpr int32_t levelChunk = 256;
struct SourceChunk {
    uint16_t red[levelChunk];
    uint16_t green[levelChunk];
    uint16_t blue[levelChunk];
    uint16_t grey[levelChunk];
    uint64_t greyPixels;
};

void splitChunk(const uint8_t* rgb, int32_t count, SourceChunk* chunk) {
    chunk->greyPixels = 0;
    for (int32_t i = 0; i < count; ++i, rgb += 3) {
        chunk->red[i] = rgb[0];
        chunk->green[i] = rgb[1];
        chunk->blue[i] = rgb[2];
        const bool grey = rgb[0] == rgb[1] && rgb[1] == rgb[2];
        chunk->grey[i] = grey ? 0xFFFF : 0;
        chunk->greyPixels += grey ? 1 : 0;
    }
}

struct LevelSums {
    uint64_t squaredError;
    uint64_t greyDrifted;
};

// Pixels from `from` on, one at a time.
void addLevelSums(const SourceChunk& chunk, const uint8_t* words, int32_t from, int32_t count,
                  LevelSums* sums) {
    for (int32_t i = from; i < count; ++i) {
        const uint16_t word = wordAt(words, i);
        const uint8_t rgb[3] = {static_cast<uint8_t>(chunk.red[i]),
                                static_cast<uint8_t>(chunk.green[i]),
                                static_cast<uint8_t>(chunk.blue[i])};
        sums->squaredError += squaredErrorOf(rgb, word);
        sums->greyDrifted += chunk.grey[i] != 0 && !isGreyWord(word) ? 1 : 0;
    }
}

#ifdef __SSE2__
__m128i widenedField(__m128i level, int32_t bits) {
    return _mm_or_si128(_mm_sll_epi16(level, _mm_cvtsi32_si128(8 - bits)),
                        _mm_srl_epi16(level, _mm_cvtsi32_si128(2 * bits - 8)));
}

__m128i squaredDifferences(__m128i widened, const uint16_t* source) {
    __m128i s;
    memcpy(&s, source, sizeof s);
    const __m128i d = _mm_sub_epi16(widened, s);
    return _mm_madd_epi16(d, d);
}

uint64_t sumOfLanes32(__m128i v) {
    uint32_t lanes[4];
    memcpy(lanes, &v, sizeof lanes);
    return uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
}

uint64_t sumOfLanes16(__m128i v) {
    uint16_t lanes[8];
    memcpy(lanes, &v, sizeof lanes);
    return std::accumulate(std::begin(lanes), std::end(lanes), uint64_t{0});
}

// Eight pixels at a time from `from`; returns where it stopped. A chunk's sums stay
// well inside the lanes: at most 3 x 2 x 255^2 a 32-bit lane per step, and
// one a 16-bit lane.
int32_t addLevelSumsByEight(const SourceChunk& chunk, const uint8_t* words, int32_t from,
                            int32_t count, LevelSums* sums) {
    const __m128i fiveBits = _mm_set1_epi16(0x1F);
    const __m128i sixBits = _mm_set1_epi16(0x3F);
    __m128i squared = _mm_setzero_si128();
    __m128i drifted = _mm_setzero_si128();
    int32_t i = from;
    for (; i + 8 <= count; i += 8) {
        __m128i w;
        memcpy(&w, words + std::ptrdiff_t{2} * i, sizeof w);
        const __m128i red = _mm_srli_epi16(w, 11);
        const __m128i green = _mm_and_si128(_mm_srli_epi16(w, 5), sixBits);
        const __m128i blue = _mm_and_si128(w, fiveBits);
        squared = _mm_add_epi32(squared, squaredDifferences(widenedField(red, 5), chunk.red + i));
        squared =
            _mm_add_epi32(squared, squaredDifferences(widenedField(green, 6), chunk.green + i));
        squared = _mm_add_epi32(squared, squaredDifferences(widenedField(blue, 5), chunk.blue + i));
        const __m128i greyWord = _mm_and_si128(_mm_cmpeq_epi16(green, _mm_slli_epi16(red, 1)),
                                               _mm_cmpeq_epi16(red, blue));
        __m128i greySource;
        memcpy(&greySource, chunk.grey + i, sizeof greySource);
        drifted = _mm_sub_epi16(drifted, _mm_andnot_si128(greyWord, greySource));
    }
    sums->squaredError += sumOfLanes32(squared);
    sums->greyDrifted += sumOfLanes16(drifted);
    return i;
}
#endif

#if HALVEX_LEVEL_SUMS_BY_32
// The same, 32 pixels at a time on processors with the 512-bit integer
// instructions. The sums are whole numbers, the same in any order.
#define HALVEX_LEVEL_SUMS_TARGET __attribute__((target("avx512f,avx512bw")))

bool levelSumsBy32() {
    static const bool can = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return can;
}

HALVEX_LEVEL_SUMS_TARGET inline __m512i squaredDifferences32(__m512i widened,
                                                             const uint16_t* source) {
    const __m512i d = _mm512_sub_epi16(widened, _mm512_loadu_si512(source));
    return _mm512_madd_epi16(d, d);
}

HALVEX_LEVEL_SUMS_TARGET int32_t addLevelSumsBy32(const SourceChunk& chunk, const uint8_t* words,
                                                  int32_t count, LevelSums* sums) {
    const __m512i fiveBits = _mm512_set1_epi16(0x1F);
    const __m512i sixBits = _mm512_set1_epi16(0x3F);
    __m512i squared = _mm512_setzero_si512();
    uint64_t drifted = 0;
    int32_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m512i w = _mm512_loadu_si512(words + std::ptrdiff_t{2} * i);
        const __m512i red = _mm512_srli_epi16(w, 11);
        const __m512i green = _mm512_and_si512(_mm512_srli_epi16(w, 5), sixBits);
        const __m512i blue = _mm512_and_si512(w, fiveBits);
        const __m512i wideRed =
            _mm512_or_si512(_mm512_slli_epi16(red, 3), _mm512_srli_epi16(red, 2));
        const __m512i wideGreen =
            _mm512_or_si512(_mm512_slli_epi16(green, 2), _mm512_srli_epi16(green, 4));
        const __m512i wideBlue =
            _mm512_or_si512(_mm512_slli_epi16(blue, 3), _mm512_srli_epi16(blue, 2));
        squared = _mm512_add_epi32(squared, squaredDifferences32(wideRed, chunk.red + i));
        squared = _mm512_add_epi32(squared, squaredDifferences32(wideGreen, chunk.green + i));
        squared = _mm512_add_epi32(squared, squaredDifferences32(wideBlue, chunk.blue + i));
        const __mmask32 greyWord = _mm512_cmpeq_epi16_mask(green, _mm512_slli_epi16(red, 1)) &
                                   _mm512_cmpeq_epi16_mask(red, blue);
        const __m512i greySource = _mm512_loadu_si512(chunk.grey + i);
        const __mmask32 greyPixel = _mm512_test_epi16_mask(greySource, greySource);
        drifted += static_cast<uint64_t>(__builtin_popcount(greyPixel & ~greyWord));
    }
    uint32_t lanes[16];
    _mm512_storeu_si512(lanes, squared);
    sums->squaredError += std::accumulate(std::begin(lanes), std::end(lanes), uint64_t{0});
    sums->greyDrifted += drifted;
    return i;
}
#endif

} // namespace

void measureLevelErrors(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                        int32_t count, QualityFigures* figures) {
    SourceChunk chunk;
    for (int64_t start = 0; start < pixels; start += levelChunk) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(levelChunk, pixels - start));
        splitChunk(source + 3 * start, n, &chunk);
        for (int32_t k = 0; k < count; ++k) {
            const uint8_t* chunkWords = words[k] + 2 * start;
            LevelSums sums{0, 0};
            int32_t done = 0;
#if HALVEX_LEVEL_SUMS_BY_32
            if (levelSumsBy32())
                done = addLevelSumsBy32(chunk, chunkWords, n, &sums);
#endif
#ifdef __SSE2__
            done = addLevelSumsByEight(chunk, chunkWords, done, n, &sums);
#endif
            addLevelSums(chunk, chunkWords, done, n, &sums);
            QualityFigures& f = figures[k];
            f.squaredError += sums.squaredError;
            f.pixels += static_cast<uint64_t>(n);
            f.greyPixels += chunk.greyPixels;
            f.greyDrifted += sums.greyDrifted;
        }
    }
}

void measurePixels(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                   int32_t count, QualityFigures* figures, DeltaECache* cache) {
    measureLevelErrors(source, pixels, words, count, figures);
    measureDifferences(source, pixels, words, count, figures, cache);
}

QualityFigures measureQuality(const RgbImage& source, const uint8_t* words) {
    QualityFigures figures{};
    const int64_t pixels = source.pixels != nullptr && source.width > 0 && source.height > 0
                               ? int64_t{source.width} * source.height
                               : 0;
    DeltaECache* cache = pixels > 0 ? newDeltaECache(pixels) : nullptr;
    measurePixels(source.pixels, pixels, &words, 1, &figures, cache);
    free(cache);
    return figures;
}

int formatFigure(double value, int32_t decimals, char* out, size_t size) {
    int64_t scale = 1;
    for (int32_t i = 0; i < decimals; ++i)
        scale *= 10;
    const long long scaled = std::llround(std::fabs(value) * static_cast<double>(scale));
    const char* sign = value < 0 && scaled != 0 ? "-" : "";
    if (decimals == 0)
        return snprintf(out, size, "%s%lld", sign, scaled);
    return snprintf(out, size, "%s%lld.%0*lld", sign, scaled / scale, static_cast<int>(decimals),
                    scaled % scale);
}
