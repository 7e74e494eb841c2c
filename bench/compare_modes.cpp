// Times compare's work on one picture in process, phase by phase: the
// twelve quantisations with their figures (and the sheet's tiles), the
// labels, and the PNG encoding of the sheet; prints the median of ROUNDS
// rounds (default 7) for each and in all, and the sheet's size.
//
// Usage: halvex-bench-compare-modes IMAGE [ROUNDS]
#include "formats/png_encode.h"
#include "image/image.h"
#include "measure/comparison.h"
#include "platform/files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double nowMs() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: %s IMAGE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc == 3 ? atoi(argv[2]) : 7;
    FILE* stream = openRegularFile(argv[1]);
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = stream != nullptr ? loadImage(stream, &width, &height) : nullptr;
    if (stream != nullptr)
        fclose(stream);
    if (pixels == nullptr || rounds < 1) {
        fprintf(stderr, "%s: cannot be loaded\n", argv[1]);
        return 1;
    }
    const RgbImage image{width, height, pixels};
    SheetLayout layout{};
    if (!planSheet(width, height, defaultSheetZoom(width), &layout)) {
        fprintf(stderr, "%s: too large for a sheet\n", argv[1]);
        return 1;
    }
    std::vector<double> measuring;
    std::vector<double> labelling;
    std::vector<double> encoding;
    size_t pngBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        ContactSheet sheet = allocSheet(layout);
        ComparedResult results[comparedChoices];
        const double start = nowMs();
        if (sheet.rgb == nullptr || !compareQuantisations(image, true, &sheet, results)) {
            fprintf(stderr, "out of memory\n");
            return 1;
        }
        const double measured = nowMs();
        sortComparedResults(results);
        labelSheet(&sheet, true, results);
        const double labelled = nowMs();
        pngBytes = encodePngRgb(sheet.rgb, layout.width, layout.height).size();
        const double encoded = nowMs();
        freeSheet(&sheet);
        measuring.push_back(measured - start);
        labelling.push_back(labelled - measured);
        encoding.push_back(encoded - labelled);
    }
    const double m = median(measuring);
    const double l = median(labelling);
    const double e = median(encoding);
    printf("compare %d x %d, %d rounds, median ms: twelve quantisations and figures %.1f, "
           "labels %.1f, PNG %.1f (sheet %d x %d, %zu bytes); all %.1f\n",
           width, height, rounds, m, l, e, layout.width, layout.height, pngBytes, m + l + e);
    free(pixels);
    return 0;
}
