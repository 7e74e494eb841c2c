#include "measure/comparison.h"
#include "platform/side_by_side.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The choices split in two, each half quantised and measured on a core of
// its own: the first three methods and the last three, each with
// compensation on and off, whose words mostly agree and so share their
// colour differences. Each figure is summed by one half, pixel by pixel in
// order, so the figures are the same as from one pass over all twelve.
constexpr int32_t halfChoices = comparedChoices / 2;

// The sheet's tile of a result: 1 to 6 in the order of the methods.
int32_t tileOf(int32_t choice) {
    return 1 + choice / 2;
}

// Rows quantised before they are measured: few enough that the words of a
// half's six choices stay in the core's cache, and even, so that the
// error-diffusion passes can take them two at a time.
int32_t bandRowsFor(int32_t width) {
    const int32_t rows = width > 0 ? (1 << 14) / width : 16;
    return rows < 2 ? 2 : rows > 16 ? 16 : rows & ~1;
}

struct Half {
    const RgbImage* image;
    const Quantisation* choices; // all twelve
    bool sheetCompensation;
    ContactSheet* sheet; // null, or drawn with the source for the choices shown
    int32_t bandRows;
    int32_t choice[halfChoices]; // indices into choices
    RowQuantiser* quantisers[halfChoices];
    uint8_t* words[halfChoices];
    DeltaECache* cache;
    QualityFigures figures[halfChoices];
};

void endHalf(Half* half) {
    for (RowQuantiser*& quantiser : half->quantisers) {
        endRowQuantiser(quantiser);
        quantiser = nullptr;
    }
    for (uint8_t*& words : half->words) {
        free(words);
        words = nullptr;
    }
    free(half->cache);
    half->cache = nullptr;
}

// The half that takes choices first to first + halfChoices - 1.
bool startHalf(Half* half, const RgbImage& image, const Quantisation choices[], int32_t first) {
    *half = Half{};
    half->image = &image;
    half->choices = choices;
    half->bandRows = bandRowsFor(image.width);
    half->cache = newDeltaECache(int64_t{image.width} * image.height);
    if (half->cache == nullptr)
        return false;
    const size_t bytes = static_cast<size_t>(image.width) * half->bandRows * 2 + 1;
    for (int32_t k = 0; k < halfChoices; ++k) {
        const int32_t i = first + k;
        half->choice[k] = i;
        half->words[k] = static_cast<uint8_t*>(malloc(bytes));
        half->quantisers[k] = startRowQuantiser(image, choices[i]);
        if (half->words[k] == nullptr || half->quantisers[k] == nullptr) {
            endHalf(half);
            return false;
        }
    }
    return true;
}

void runHalf(void* work) {
    auto* half = static_cast<Half*>(work);
    const RgbImage& image = *half->image;
    const size_t rgbRowBytes = static_cast<size_t>(image.width) * 3;
    for (int32_t y = 0; y < image.height; y += half->bandRows) {
        const int32_t rows = std::min(half->bandRows, image.height - y);
        const uint8_t* rgb = image.pixels + y * rgbRowBytes;
        for (int32_t k = 0; k < halfChoices; ++k)
            quantiseNextRows(half->quantisers[k], rows, half->words[k]);
        measurePixels(rgb, int64_t{rows} * image.width, half->words, halfChoices, half->figures,
                      half->cache);
        if (half->sheet == nullptr)
            continue;
        if (half->choice[0] == 0)
            drawTileRgbRows(half->sheet, 0, y, rows, rgb);
        for (int32_t k = 0; k < halfChoices; ++k)
            if (half->choices[half->choice[k]].greenCompensation == half->sheetCompensation)
                drawTileWordRows(half->sheet, tileOf(half->choice[k]), y, rows, half->words[k]);
    }
}

} // namespace

void comparedQuantisations(Quantisation choices[comparedChoices]) {
    const Quantisation methods[] = {
        {DitherMethod::none, false, true},           {DitherMethod::ordered, false, true},
        {DitherMethod::floydSteinberg, false, true}, {DitherMethod::floydSteinberg, true, true},
        {DitherMethod::atkinsonBoyle, false, true},  {DitherMethod::atkinsonBoyle, true, true}};
    int32_t i = 0;
    for (const Quantisation& method : methods) {
        for (bool compensation : {true, false}) {
            choices[i] = method;
            choices[i++].greenCompensation = compensation;
        }
    }
}

bool compareQuantisations(const RgbImage& source, bool sheetCompensation, ContactSheet* sheet,
                          ComparedResult results[comparedChoices]) {
    const RgbImage image = imageOrEmpty(source);
    Quantisation choices[comparedChoices];
    comparedQuantisations(choices);
    for (int32_t i = 0; i < comparedChoices; ++i)
        results[i] = ComparedResult{choices[i], QualityFigures{}};
    if (image.width <= 0 || image.height <= 0)
        return true;
    Half halves[2];
    if (!startHalf(&halves[0], image, choices, 0))
        return false;
    if (!startHalf(&halves[1], image, choices, halfChoices)) {
        endHalf(&halves[0]);
        return false;
    }
    for (Half& half : halves) {
        half.sheet = sheet;
        half.sheetCompensation = sheetCompensation;
    }
    runSideBySide(runHalf, &halves[0], &halves[1]);
    for (Half& half : halves) {
        for (int32_t k = 0; k < halfChoices; ++k)
            results[half.choice[k]].figures = half.figures[k];
        endHalf(&half);
    }
    return true;
}

void sortComparedResults(ComparedResult results[comparedChoices]) {
    const auto key = [](const ComparedResult& r) {
        return std::llround(meanDeltaEOf(r.figures) * 100.0);
    };
    std::stable_sort(
        results, results + comparedChoices,
        [&key](const ComparedResult& a, const ComparedResult& b) { return key(a) < key(b); });
}

void labelSheet(ContactSheet* sheet, bool sheetCompensation,
                const ComparedResult results[comparedChoices]) {
    drawTileLabel(sheet, 0, "source", sheetCompensation ? "compensation on" : "compensation off");
    Quantisation choices[comparedChoices];
    comparedQuantisations(choices);
    for (int32_t i = 0; i < comparedChoices; ++i) {
        if (choices[i].greenCompensation != sheetCompensation)
            continue;
        const ComparedResult* result = nullptr;
        for (int32_t k = 0; k < comparedChoices; ++k) {
            const Quantisation& q = results[k].quantisation;
            if (q.method == choices[i].method && q.serpentine == choices[i].serpentine &&
                q.greenCompensation == sheetCompensation)
                result = &results[k];
        }
        if (result == nullptr)
            continue;
        char mean[32];
        formatFigure(meanDeltaEOf(result->figures), 2, mean, sizeof mean);
        char second[64];
        snprintf(second, sizeof second, "%sdE %s", choices[i].serpentine ? "serpentine " : "",
                 mean);
        drawTileLabel(sheet, tileOf(i), ditherMethodName(choices[i].method), second);
    }
}
