#include "measure/figures.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

void addPixel(QualityFigures* f, const uint8_t* source, uint16_t word, double deltaE) {
    uint8_t rgb[3];
    widenWord(word, rgb);
    for (int c = 0; c < 3; ++c) {
        const int32_t d = int32_t{rgb[c]} - int32_t{source[c]};
        f->squaredError += static_cast<uint64_t>(d * d);
    }
    ++f->pixels;
    f->deltaESum += deltaE;
    if (deltaE > f->deltaEMax)
        f->deltaEMax = deltaE;
    if (source[0] == source[1] && source[1] == source[2]) {
        ++f->greyPixels;
        if (!isGreyWord(word))
            ++f->greyDrifted;
    }
}

} // namespace

DeltaECache* newDeltaECache() {
    auto* cache = static_cast<DeltaECache*>(malloc(sizeof(DeltaECache)));
    if (cache != nullptr)
        memset(cache->keys, 0xFF, sizeof cache->keys);
    return cache;
}

namespace {

// The source pixel's colour in CIELAB, worked out on first use.
struct SourceColour {
    const uint8_t* rgb;
    bool known;
    LabColour lab;
};

double deltaEOf(SourceColour* source, uint16_t word, DeltaECache* cache) {
    const uint64_t key = (uint64_t{source->rgb[0]} << 32 | uint64_t{source->rgb[1]} << 24 |
                          uint64_t{source->rgb[2]} << 16 | word);
    const size_t slot = cache == nullptr ? 0 : ((key * 0x9E3779B97F4A7C15u) >> 48);
    if (cache != nullptr && cache->keys[slot] == key)
        return cache->deltaE[slot];
    if (!source->known) {
        source->lab = labOfSrgb(source->rgb[0], source->rgb[1], source->rgb[2]);
        source->known = true;
    }
    const double deltaE = ciede2000(source->lab, wordColours().lab[word]);
    if (cache != nullptr) {
        cache->keys[slot] = key;
        cache->deltaE[slot] = deltaE;
    }
    return deltaE;
}

} // namespace

void measurePixels(const uint8_t* source, int64_t pixels, const uint8_t* const* words,
                   int32_t count, QualityFigures* figures, DeltaECache* cache) {
    constexpr int32_t mostAtOnce = 16;
    for (int64_t i = 0; i < pixels; ++i, source += 3) {
        SourceColour colour{source, false, LabColour{}};
        uint16_t seen[mostAtOnce];
        double seenDeltaE[mostAtOnce];
        int32_t seenCount = 0;
        for (int32_t k = 0; k < count; ++k) {
            const uint16_t word = wordAt(words[k], i);
            int32_t s = 0;
            while (s < seenCount && seen[s] != word)
                ++s;
            if (s == seenCount) {
                const double deltaE = deltaEOf(&colour, word, cache);
                if (seenCount < mostAtOnce) {
                    seen[seenCount] = word;
                    seenDeltaE[seenCount++] = deltaE;
                }
                addPixel(&figures[k], source, word, deltaE);
            } else {
                addPixel(&figures[k], source, word, seenDeltaE[s]);
            }
        }
    }
}

QualityFigures measureQuality(const RgbImage& source, const uint8_t* words) {
    QualityFigures figures{};
    const int64_t pixels = source.pixels != nullptr && source.width > 0 && source.height > 0
                               ? int64_t{source.width} * source.height
                               : 0;
    measurePixels(source.pixels, pixels, &words, 1, &figures, nullptr);
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
