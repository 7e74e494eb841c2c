// Figures of how close quantised pixel words come to their source: PSNR over
// the 8-bit expansion of the words, the CIEDE2000 colour difference per pixel
// (mean and maximum), and the grey drift, the share of grey source pixels
// whose word is not grey. The words are widened as previews widen them, each
// field repeating its top bits.
//
// These are measurements, not output bytes, so they use floating point; the
// sums run in a fixed order so that a picture always gives the same figures.
#pragma once

#include "convert/rgn_format.h"
#include "image/image.h"

#include <cstddef>
#include <cstdint>

struct LabColour {
    double L;
    double a;
    double b;
};

// An 8-bit sRGB colour (with its transfer curve) in CIELAB, white point D65.
LabColour labOfSrgb(uint8_t red, uint8_t green, uint8_t blue);

// The CIEDE2000 colour difference, with kL = kC = kH = 1.
double ciede2000(const LabColour& first, const LabColour& second);

// A word is grey when its green field is twice its red field and its red
// field equals its blue field.
bool isGreyWord(uint16_t word);

// Running sums for one quantisation of one picture.
struct QualityFigures {
    uint64_t squaredError; // over red, green and blue of every pixel
    uint64_t pixels;
    double deltaESum;
    double deltaEMax;
    uint64_t greyPixels;  // source pixels with red = green = blue
    uint64_t greyDrifted; // of those, the ones whose word is not grey
};

// 10 log10(255^2 / mean squared error) in dB; false (and no value) when the
// expansion equals the source, where it is infinite.
bool psnrOf(const QualityFigures& figures, double* decibels);
double meanDeltaEOf(const QualityFigures& figures);
double greyDriftOf(const QualityFigures& figures); // 0 when there is no grey pixel

// Colour differences already worked out, by source colour and word: a
// picture repeats its pairs far more often than not. A cache only saves
// time; the figures are the same with or without one. A mix of the source
// colour's bits chooses its bucket, which holds a few pairs (shared with
// other colours; the oldest makes way for a new one) under keys of the
// mix's other bits and the word, in one cache line, so that the few words a
// pixel is given are looked up in one place, which the measuring fetches
// ahead.
constexpr int32_t deltaECacheBucketEntries = 16;
struct DeltaECacheBucket {
    uint32_t keys[deltaECacheBucketEntries]; // colour bits << 16 | word; ~0 when empty
    double deltaE[deltaECacheBucketEntries];
};
struct DeltaECache {
    int32_t bucketBits;         // bits of the mixed colour that choose the bucket
    DeltaECacheBucket* buckets; // in the same block, at a cache line boundary
    uint8_t* oldest;            // each bucket's entry to be replaced next
};
// An empty cache sized for a picture of that many pixels (at most 3 MB), or
// null without memory; release with free().
DeltaECache* newDeltaECache(int64_t pixels);

// Measures count quantisations of the same pixels at once: source holds
// pixels RGB triples, words[i] the pixel words (least significant byte first)
// of quantisation i, whose sums go to figures[i]. Call it band by band, in
// order, to measure a whole picture. The cache may be null. Quantisations
// are taken through the pixels measuredAtOnce together (the rest one by
// one); give them in pairs whose words mostly agree (a choice with
// compensation and without): a word both of a pair give a pixel is looked
// up once.
constexpr int32_t measuredAtOnce = 6;
void measurePixels(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                   int32_t count, QualityFigures* figures, DeltaECache* cache);

// measurePixels in two parts that can run side by side on the same figures,
// since each adds to fields of its own: the colour differences (deltaESum
// and deltaEMax), and the rest (the squared error, the pixels, the grey
// pixels and their drift).
void measureDifferences(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                        int32_t count, QualityFigures* figures, DeltaECache* cache);
void measureLevelErrors(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                        int32_t count, QualityFigures* figures);

// The figures of one quantisation of a whole picture.
QualityFigures measureQuality(const RgbImage& source, const uint8_t* words);

// value with the given number of decimals (0 to 6), rounded half away from
// zero from the value itself, so that every platform prints the same text.
// Returns what snprintf returns.
int formatFigure(double value, int32_t decimals, char* out, size_t size);
