#include "measure/comparison.h"
#include "platform/side_by_side.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The picture is taken a band of rows at a time, each quantised in every
// choice and then measured; while one band is measured, on this thread, the
// next is quantised on a second one, into the other of two sets of words.
// The measuring goes through the bands in order, pixel by pixel, so the
// figures are the same as from one pass on one thread.

// The sheet's tile of a result: 1 to 6 in the order of the methods.
int32_t tileOf(int32_t choice) {
    return 1 + choice / 2;
}

// About 8192 pixels a band, so that both sets of words stay in the cores'
// caches, in an even number of rows, so that the error-diffusion passes can
// take them two at a time.
int32_t bandRowsFor(int32_t width) {
    const int32_t rows = (1 << 13) / width;
    return rows < 2 ? 2 : rows > 16 ? 16 : rows & ~1;
}

struct Bands {
    const RgbImage* image;
    int32_t bandRows;
    RowQuantiser* quantisers[comparedChoices];
    uint8_t* words[2][comparedChoices]; // band b's in words[b % 2]
    DeltaECache* cache;
    QualityFigures figures[comparedChoices];      // the colour differences
    QualityFigures levelFigures[comparedChoices]; // the rest, summed while quantising
    bool sheetCompensation;
    const Quantisation* choices;
    ContactSheet* sheet; // null, or drawn with the source and the choices shown
};

void endBands(Bands* bands) {
    for (RowQuantiser*& quantiser : bands->quantisers) {
        endRowQuantiser(quantiser);
        quantiser = nullptr;
    }
    for (auto& set : bands->words) {
        for (uint8_t*& words : set) {
            free(words);
            words = nullptr;
        }
    }
    free(bands->cache);
    bands->cache = nullptr;
}

bool startBands(Bands* bands, const RgbImage& image, const Quantisation choices[]) {
    *bands = Bands{};
    bands->image = &image;
    bands->choices = choices;
    bands->bandRows = bandRowsFor(image.width);
    bands->cache = newDeltaECache(int64_t{image.width} * image.height);
    if (bands->cache == nullptr)
        return false;
    const size_t bytes = static_cast<size_t>(image.width) * bands->bandRows * 2 + 1;
    for (int32_t i = 0; i < comparedChoices; ++i) {
        bands->words[0][i] = static_cast<uint8_t*>(malloc(bytes));
        bands->words[1][i] = static_cast<uint8_t*>(malloc(bytes));
        bands->quantisers[i] = startRowQuantiser(image, choices[i]);
        if (bands->words[0][i] == nullptr || bands->words[1][i] == nullptr ||
            bands->quantisers[i] == nullptr) {
            endBands(bands);
            return false;
        }
    }
    return true;
}

int32_t bandCount(const Bands& bands) {
    return (bands.image->height - 1) / bands.bandRows + 1;
}

int32_t rowsOfBand(const Bands& bands, int32_t band) {
    return std::min(bands.bandRows, bands.image->height - band * bands.bandRows);
}

// One of the two pieces of work on a band: its quantising or its measuring.
struct BandStep {
    Bands* bands;
    int32_t band; // none when past the last
    bool measure;
};

// The quantising side also sums the figures that need no colour
// differences, which add up the same in any order, so that the two sides
// take about as long.
void quantiseBand(Bands* bands, int32_t band) {
    const int32_t rows = rowsOfBand(*bands, band);
    for (int32_t i = 0; i < comparedChoices; ++i)
        quantiseNextRows(bands->quantisers[i], rows, bands->words[band % 2][i]);
    const RgbImage& image = *bands->image;
    const uint8_t* rgb =
        image.pixels + static_cast<size_t>(band) * bands->bandRows * image.width * 3;
    measureLevelErrors(rgb, int64_t{rows} * image.width, bands->words[band % 2], comparedChoices,
                       bands->levelFigures);
}

void measureBand(Bands* bands, int32_t band) {
    const RgbImage& image = *bands->image;
    const int32_t y = band * bands->bandRows;
    const int32_t rows = rowsOfBand(*bands, band);
    const uint8_t* rgb = image.pixels + static_cast<size_t>(y) * image.width * 3;
    uint8_t* const* words = bands->words[band % 2];
    measureDifferences(rgb, int64_t{rows} * image.width, words, comparedChoices, bands->figures,
                       bands->cache);
    if (bands->sheet == nullptr)
        return;
    drawTileRgbRows(bands->sheet, 0, y, rows, rgb);
    for (int32_t i = 0; i < comparedChoices; ++i)
        if (bands->choices[i].greenCompensation == bands->sheetCompensation)
            drawTileWordRows(bands->sheet, tileOf(i), y, rows, words[i]);
}

void runBandStep(void* work) {
    const auto* step = static_cast<const BandStep*>(work);
    if (step->band >= bandCount(*step->bands))
        return;
    if (step->measure)
        measureBand(step->bands, step->band);
    else
        quantiseBand(step->bands, step->band);
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
    bands.sheet = sheet;
    bands.sheetCompensation = sheetCompensation;
    SideWorker* worker = startSideWorker();
    quantiseBand(&bands, 0);
    for (int32_t band = 0; band < bandCount(bands); ++band) {
        BandStep measuring{&bands, band, true};
        BandStep quantising{&bands, band + 1, false};
        runSideBySide(worker, runBandStep, &measuring, &quantising);
    }
    endSideWorker(worker);
    for (int32_t i = 0; i < comparedChoices; ++i) {
        QualityFigures& f = results[i].figures;
        f = bands.levelFigures[i];
        f.deltaESum = bands.figures[i].deltaESum;
        f.deltaEMax = bands.figures[i].deltaEMax;
    }
    endBands(&bands);
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
