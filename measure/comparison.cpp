#include "measure/comparison.h"
#include "platform/side_by_side.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The twelve choices are taken in two groups of six, each by a thread of its
// own (this one and a second), from the picture's first band of rows to its
// last: a group quantises a band in each of its choices and measures the
// results before it takes the next band, with its own words, colour
// difference cache and figures, so the two never wait for each other. Every
// choice's figures are summed by one thread, pixel by pixel in the
// picture's order, so they are the same as from one pass on one thread.

// The sheet's tile of a result: 1 to 6 in the order of the methods.
int32_t tileOf(int32_t choice) {
    return 1 + choice / 2;
}

// A choice with compensation and the same without stay together, side by side,
// since their words mostly agree and a colour difference found once serves
// both (measurePixels); the methods are shared out so that the groups take
// about as long: none, Floyd-Steinberg and serpentine Atkinson-Boyle, and
// ordered, serpentine Floyd-Steinberg and Atkinson-Boyle.
constexpr int32_t groupChoices = comparedChoices / 2;
static_assert(groupChoices == measuredAtOnce, "a group's words are measured together");
constexpr int32_t choiceGroups[2][groupChoices] = {{0, 1, 4, 5, 10, 11}, {2, 3, 6, 7, 8, 9}};

// About 8192 pixels a band, so that a group's words stay in its core's
// cache, in a multiple of four rows, so that the error-diffusion passes can
// take them four at a time.
int32_t bandRowsFor(int32_t width) {
    const int32_t rows = (1 << 13) / width;
    return rows < 4 ? 4 : rows > 16 ? 16 : rows & ~3;
}

struct ChoiceGroup {
    const RgbImage* image;
    int32_t bandRows;
    const int32_t* members; // indices into the choices
    RowQuantiser* quantisers[groupChoices];
    uint8_t* words[groupChoices];
    DeltaECache* cache;
    QualityFigures figures[groupChoices];
    const Quantisation* choices;
    ContactSheet* sheet; // null, or drawn with the source and the choices shown
    bool sheetCompensation;
    bool drawsSource;
};

void endChoiceGroup(ChoiceGroup* group) {
    for (int32_t i = 0; i < groupChoices; ++i) {
        endRowQuantiser(group->quantisers[i]);
        group->quantisers[i] = nullptr;
        free(group->words[i]);
        group->words[i] = nullptr;
    }
    free(group->cache);
    group->cache = nullptr;
}

bool startChoiceGroup(ChoiceGroup* group, const RgbImage& image, const Quantisation choices[],
                      const int32_t* members) {
    *group = ChoiceGroup{};
    group->image = &image;
    group->members = members;
    group->choices = choices;
    group->bandRows = bandRowsFor(image.width);
    group->cache = newDeltaECache(int64_t{image.width} * image.height);
    if (group->cache == nullptr)
        return false;
    const size_t bytes = static_cast<size_t>(image.width) * group->bandRows * 2 + 1;
    for (int32_t i = 0; i < groupChoices; ++i) {
        group->words[i] = static_cast<uint8_t*>(malloc(bytes));
        group->quantisers[i] = startRowQuantiser(image, choices[members[i]]);
        if (group->words[i] == nullptr || group->quantisers[i] == nullptr) {
            endChoiceGroup(group);
            return false;
        }
    }
    return true;
}

void drawBand(const ChoiceGroup& group, int32_t y, int32_t rows, const uint8_t* rgb) {
    if (group.sheet == nullptr)
        return;
    if (group.drawsSource)
        drawTileRgbRows(group.sheet, 0, y, rows, rgb);
    for (int32_t i = 0; i < groupChoices; ++i) {
        const int32_t choice = group.members[i];
        if (group.choices[choice].greenCompensation == group.sheetCompensation)
            drawTileWordRows(group.sheet, tileOf(choice), y, rows, group.words[i]);
    }
}

void runChoiceGroup(void* work) {
    auto* group = static_cast<ChoiceGroup*>(work);
    const RgbImage& image = *group->image;
    for (int32_t y = 0; y < image.height; y += group->bandRows) {
        const int32_t rows = std::min(group->bandRows, image.height - y);
        for (int32_t i = 0; i < groupChoices; ++i)
            quantiseNextRows(group->quantisers[i], rows, group->words[i]);
        const uint8_t* rgb = image.pixels + static_cast<size_t>(y) * image.width * 3;
        measurePixels(rgb, int64_t{rows} * image.width, group->words, groupChoices, group->figures,
                      group->cache);
        drawBand(*group, y, rows, rgb);
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
    ChoiceGroup groups[2];
    if (!startChoiceGroup(&groups[0], image, choices, choiceGroups[0]))
        return false;
    if (!startChoiceGroup(&groups[1], image, choices, choiceGroups[1])) {
        endChoiceGroup(&groups[0]);
        return false;
    }
    for (ChoiceGroup& group : groups) {
        group.sheet = sheet;
        group.sheetCompensation = sheetCompensation;
    }
    groups[0].drawsSource = true;
    SideWorker* worker = startSideWorker();
    runSideBySide(worker, runChoiceGroup, &groups[0], &groups[1]);
    endSideWorker(worker);
    for (ChoiceGroup& group : groups) {
        for (int32_t i = 0; i < groupChoices; ++i)
            results[group.members[i]].figures = group.figures[i];
        endChoiceGroup(&group);
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
