// Checks that the row-wise conversion (error diffusion two rows at a time
// where it can) makes exactly the words of the straightforward full-plane
// one, for every mode (the command line's ordered and serpentine ones
// included), with compensation on and off, on the given image, printing one
// line per mode and exiting 1 at the first difference. With a folder, it also
// writes there the files of the full-plane path with compensation on, named
// as bench/run names the modes (none.rgn, ordered.rgn, floyd-steinberg.rgn,
// atkinson-boyle.rgn, fs-serpentine.rgn, ab-serpentine.rgn), for comparison
// with what halvex-cli writes.
//
// Usage: halvex-bench-compare IMAGE [REFERENCE_DIR]
#include "convert/convert.h"
#include "image/image.h"
#include "platform/files.h"
#include "tests/reference/reference.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

const Quantisation modes[] = {
    {DitherMethod::none, false, false},          {DitherMethod::floydSteinberg, false, false},
    {DitherMethod::atkinsonBoyle, false, false}, {DitherMethod::ordered, false, false},
    {DitherMethod::floydSteinberg, true, false}, {DitherMethod::atkinsonBoyle, true, false}};

std::string benchName(const Quantisation& q) {
    if (q.serpentine)
        return q.method == DitherMethod::floydSteinberg ? "fs-serpentine" : "ab-serpentine";
    return ditherMethodName(q.method);
}

bool sameWords(const RgbImage& image, const Quantisation& quantisation) {
    int32_t rowBytes = -1;
    int32_t planeBytes = -2;
    uint8_t* rows = quantiseImage(image, quantisation, &rowBytes);
    uint8_t* planes = quantiseImageFullPlanes(image, quantisation, &planeBytes);
    const bool same = rows != nullptr && planes != nullptr && rowBytes == planeBytes &&
                      memcmp(rows, planes, static_cast<size_t>(rowBytes)) == 0;
    free(rows);
    free(planes);
    return same;
}

// The full-plane words written as an RGN/MBR file.
bool writeReference(const RgbImage& image, const Quantisation& quantisation,
                    const std::string& path) {
    int32_t bytes = 0;
    uint8_t* words = quantiseImageFullPlanes(image, quantisation, &bytes);
    if (words == nullptr)
        return false;
    OutputFile file;
    if (succeeded(openOutputFile(&file, path.c_str())))
        putWrappedWords(&file, image.width, image.height, words);
    free(words);
    return succeeded(commitOutputFile(&file));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: %s IMAGE [REFERENCE_DIR]\n", argv[0]);
        return 2;
    }
    FILE* stream = openRegularFile(argv[1]);
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = stream != nullptr ? loadImage(stream, &width, &height) : nullptr;
    if (stream != nullptr)
        fclose(stream);
    if (pixels == nullptr) {
        fprintf(stderr, "%s: cannot be loaded\n", argv[1]);
        return 1;
    }
    const RgbImage image{width, height, pixels};
    int status = 0;
    for (Quantisation q : modes) {
        for (bool compensation : {false, true}) {
            q.greenCompensation = compensation;
            const bool same = sameWords(image, q);
            printf("%s, compensation %s: %s\n", benchName(q).c_str(), compensation ? "on" : "off",
                   same ? "identical" : "DIFFERENT");
            if (!same)
                status = 1;
        }
        q.greenCompensation = true;
        if (argc == 3 &&
            !writeReference(image, q, std::string(argv[2]) + "/" + benchName(q) + ".rgn")) {
            fprintf(stderr, "%s: cannot write the reference files\n", argv[2]);
            status = 1;
        }
    }
    free(pixels);
    return status;
}
