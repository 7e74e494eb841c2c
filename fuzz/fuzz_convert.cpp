// The whole path from file bytes to an RGN/MBR file: loadImage, then the
// quantisation in all three modes with green-level compensation on and off
// (the row-wise run compared byte for byte with the full-plane one, and the
// plain mode with its rule on the 8-bit values), the command line's own modes
// (ordered, serpentine) compared the same way and measured with the
// comparison's figures, then convertImageToFile for
// one mode chosen by the input, read back and compared with the header and
// the pixel words computed in memory.
//
// The first input byte is the control byte: bits 0-1 choose the mode of the
// written file (3 stands for an out-of-range index), bit 2 the compensation.
// Only small images are converted, to keep runs fast: at most maxPixels
// pixels and maxSide on either side (a picture without pixels can claim any
// width; the hostile tests cover those).
#include "convert/convert.h"
#include "fuzz_support.h"
#include "image/image.h"
#include "measure/figures.h"
#include "tests/reference/reference.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t maxPixels = 64 * 64;
constexpr int32_t maxSide = 4096;

uint16_t wordAt(const uint8_t* words, int32_t index) {
    return static_cast<uint16_t>(words[2 * index] | (words[2 * index + 1] << 8));
}

// The pixel word of mode None from the 8-bit channels.
uint16_t plainWord(const uint8_t* rgb, bool compensation) {
    const unsigned r = rgb[0];
    const unsigned g = rgb[1];
    const unsigned b = rgb[2];
    unsigned green = g >> 2;
    if (compensation && (g == r || g == b))
        green = (g >> 3) << 1;
    return static_cast<uint16_t>(((r >> 3) << 11) | (green << 5) | (b >> 3));
}

void checkPlain(const RgbImage& image, const uint8_t* words, bool compensation) {
    const int32_t count = image.width * image.height;
    for (int32_t i = 0; i < count; ++i)
        FUZZ_CHECK(wordAt(words, i) == plainWord(image.pixels + 3 * i, compensation));
}

std::vector<uint8_t> readWhole(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr)
        return bytes;
    uint8_t chunk[4096];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(in);
    return bytes;
}

const std::string& targetPath() {
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("halvex-fuzz-" + std::to_string(getpid()) + ".rgn"))
                                        .string();
    return path;
}

// The row-wise words of a quantisation, checked against the full planes and
// measured; malloc'd, for the caller to release. Error diffusion left to right
// takes its rows in pairs there, a last odd row alone, so both the two-row and
// the single-row passes are checked.
uint8_t* checkedWords(const RgbImage& image, const Quantisation& quantisation) {
    int32_t bytes = -1;
    uint8_t* words = quantiseImage(image, quantisation, &bytes);
    FUZZ_CHECK(words != nullptr);
    FUZZ_CHECK(bytes == image.width * image.height * 2);
    int32_t fullBytes = -1;
    uint8_t* full = quantiseImageFullPlanes(image, quantisation, &fullBytes);
    FUZZ_CHECK(full != nullptr && fullBytes == bytes);
    FUZZ_CHECK(bytes == 0 || memcmp(full, words, static_cast<size_t>(bytes)) == 0);
    free(full);
    return words;
}

void checkCommandLineModes(const RgbImage& image) {
    const Quantisation modes[] = {{DitherMethod::ordered, false, false},
                                  {DitherMethod::floydSteinberg, true, false},
                                  {DitherMethod::atkinsonBoyle, true, false}};
    for (Quantisation q : modes) {
        for (bool compensation : {false, true}) {
            q.greenCompensation = compensation;
            uint8_t* words = checkedWords(image, q);
            const QualityFigures figures = measureQuality(image, words);
            FUZZ_CHECK(figures.pixels == static_cast<uint64_t>(image.width) * image.height);
            FUZZ_CHECK(figures.deltaEMax >= 0.0 && figures.greyDrifted <= figures.greyPixels);
            free(words);
        }
    }
}

void checkWrittenFile(const RgbImage& image, DitherMode mode, bool compensation,
                      const uint8_t* expectedWords, int32_t expectedBytes) {
    const std::string& path = targetPath();
    FUZZ_CHECK(succeeded(
        convertImageToFile(path.c_str(), image, dialogQuantisation(compensation ? 1 : 0, mode))));
    const std::vector<uint8_t> file = readWhole(path);
    remove(path.c_str());
    FUZZ_CHECK(file.size() == static_cast<size_t>(rgnHeaderBytes + expectedBytes));
    int32_t header[12];
    rgnHeaderWords(image.width, image.height, header);
    for (int i = 0; i < 12; ++i) {
        const auto word = static_cast<int32_t>(static_cast<uint32_t>(file[4 * i]) |
                                               (static_cast<uint32_t>(file[4 * i + 1]) << 8) |
                                               (static_cast<uint32_t>(file[4 * i + 2]) << 16) |
                                               (static_cast<uint32_t>(file[4 * i + 3]) << 24));
        FUZZ_CHECK(word == header[i]);
    }
    FUZZ_CHECK(expectedBytes == 0 ||
               memcmp(file.data() + rgnHeaderBytes, expectedWords, expectedBytes) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input{};
    if (!splitInput(data, size, 1, &input))
        return 0;
    MemoryStream memory{};
    if (!openMemoryStream(input.bytes, input.size, &memory))
        return 0;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = loadImage(memory.stream, &width, &height);
    closeMemoryStream(&memory);
    if (pixels == nullptr)
        return 0;
    const RgbImage image{width, height, pixels};
    if (int64_t{width} * height > maxPixels || width > maxSide || height > maxSide) {
        free(pixels);
        return 0;
    }

    const auto fileMode = static_cast<DitherMode>(input.control & 3);
    const bool fileCompensation = (input.control & 4) != 0;
    for (DitherMode mode : {ditherNone, ditherFloydSteinbergMode, ditherAtkinsonBoyleMode}) {
        for (bool compensation : {false, true}) {
            const int32_t bytes = width * height * 2;
            uint8_t* words = checkedWords(image, dialogQuantisation(compensation ? 1 : 0, mode));
            if (mode == ditherNone)
                checkPlain(image, words, compensation);
            const DitherMode written = fileMode == 3 ? ditherNone : fileMode;
            if (mode == written && compensation == fileCompensation)
                checkWrittenFile(image, fileMode == 3 ? -1 : mode, compensation, words, bytes);
            free(words);
        }
    }
    checkCommandLineModes(image);
    free(pixels);
    return 0;
}
