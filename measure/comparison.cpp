#include "measure/comparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int32_t bandRows = 16;

// The sheet's tile of a result: 1 to 6 in the order of the methods.
int32_t tileOf(int32_t choice) {
    return 1 + choice / 2;
}

struct Bands {
    RowQuantiser* quantisers[comparedChoices];
    uint8_t* words[comparedChoices];
    DeltaECache* cache;
};

void endBands(Bands* bands) {
    for (RowQuantiser*& quantiser : bands->quantisers) {
        endRowQuantiser(quantiser);
        quantiser = nullptr;
    }
    for (uint8_t*& words : bands->words) {
        free(words);
        words = nullptr;
    }
    free(bands->cache);
    bands->cache = nullptr;
}

bool startBands(Bands* bands, const RgbImage& image, const Quantisation choices[]) {
    *bands = Bands{};
    bands->cache = newDeltaECache();
    if (bands->cache == nullptr)
        return false;
    const size_t bytes = static_cast<size_t>(image.width) * bandRows * 2 + 1;
    for (int32_t i = 0; i < comparedChoices; ++i) {
        bands->words[i] = static_cast<uint8_t*>(malloc(bytes));
        bands->quantisers[i] = startRowQuantiser(image, choices[i]);
        if (bands->words[i] == nullptr || bands->quantisers[i] == nullptr) {
            endBands(bands);
            return false;
        }
    }
    return true;
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
    Bands bands{};
    if (!startBands(&bands, image, choices))
        return false;
    const size_t rgbRowBytes = static_cast<size_t>(image.width) * 3;
    QualityFigures figures[comparedChoices] = {};
    for (int32_t y = 0; y < image.height; y += bandRows) {
        const int32_t rows = std::min(bandRows, image.height - y);
        const uint8_t* rgb = image.pixels + y * rgbRowBytes;
        for (int32_t i = 0; i < comparedChoices; ++i)
            quantiseNextRows(bands.quantisers[i], rows, bands.words[i]);
        measurePixels(rgb, int64_t{rows} * image.width, bands.words, comparedChoices, figures,
                      bands.cache);
        if (sheet == nullptr)
            continue;
        drawTileRgbRows(sheet, 0, y, rows, rgb);
        for (int32_t i = 0; i < comparedChoices; ++i)
            if (choices[i].greenCompensation == sheetCompensation)
                drawTileWordRows(sheet, tileOf(i), y, rows, bands.words[i]);
    }
    endBands(&bands);
    for (int32_t i = 0; i < comparedChoices; ++i)
        results[i].figures = figures[i];
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
