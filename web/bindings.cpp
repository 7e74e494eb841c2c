// The page's entry points into the core, called from the worker script.
//
// The module holds one source picture (from the last successful load) and
// the result of the last conversion of it; the page asks for what it shows
// or saves. A load that fails keeps the previous source, so the page can go
// on showing it. Every returned pointer stays valid until the next call that
// replaces what it points to.
#include "convert/convert.h"
#include "formats/png_encode.h"
#include "formats/preview_bmp.h"
#include "formats/word_files.h"
#include "measure/figures.h"
#include "platform/byte_order.h"
#include "prepare/prepare.h"

#include <emscripten/emscripten.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Held {
    RgbImage source{0, 0, nullptr};
    std::vector<uint8_t> sourceRgba;
    std::vector<uint8_t> rgnFile; // header and words of the last conversion
    Quantisation quantisation;    // that made them
    std::string wordFile;         // the last download made of them
    std::vector<uint8_t> resultRgba;
    std::string message;
    double figures[4] = {0, 0, 0, 0};
    std::vector<uint8_t> png;
};

Held held;

void rgbaFromRgb(const uint8_t* rgb, size_t pixels, std::vector<uint8_t>* rgba) {
    rgba->resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        (*rgba)[4 * i] = rgb[3 * i];
        (*rgba)[4 * i + 1] = rgb[3 * i + 1];
        (*rgba)[4 * i + 2] = rgb[3 * i + 2];
        (*rgba)[4 * i + 3] = 255;
    }
}

void rgbaFromWords(const uint8_t* words, size_t pixels, std::vector<uint8_t>* rgba) {
    rgba->resize(pixels * 4);
    for (size_t i = 0; i < pixels; ++i) {
        widenWord(fieldU16(words + 2 * i), &(*rgba)[4 * i]);
        (*rgba)[4 * i + 3] = 255;
    }
}

size_t pixelCount(const RgbImage& image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
}

// The page's number for a method: 0 none, 1 Floyd-Steinberg,
// 2 Atkinson-Boyle, 3 ordered; any other runs the plain pass.
DitherMethod pageDitherMethod(int method) {
    switch (method) {
    case 1:
        return DitherMethod::floydSteinberg;
    case 2:
        return DitherMethod::atkinsonBoyle;
    case 3:
        return DitherMethod::ordered;
    default:
        return DitherMethod::none;
    }
}

} // namespace

extern "C" {

// Loads the size bytes at bytes as the new source, read with the command
// line's choices: decoder 0 compatible, 1 standard; background 0xRRGGBB;
// resize width and height (0 leaves a side free, both 0 keep the size);
// fit 0 contain, 1 cover, 2 stretch; filter 0 smooth, 1 nearest. 0, with any
// warnings in hx_message(), or -1 with the message for the user there.
EMSCRIPTEN_KEEPALIVE int hx_load(const uint8_t* bytes, int size, int decoder, uint32_t background,
                                 int resizeWidth, int resizeHeight, int fit, int filter) {
    ReadingChoices choices;
    choices.decoder = decoder == 1 ? Decoder::Standard : Decoder::Compatible;
    choices.background = background & 0xFFFFFF;
    choices.resizeWidth = resizeWidth > 0 ? resizeWidth : 0;
    choices.resizeHeight = resizeHeight > 0 ? resizeHeight : 0;
    choices.fit = fit == 1 ? Fit::Cover : fit == 2 ? Fit::Stretch : Fit::Contain;
    choices.filter = filter == 1 ? ResizeFilter::Nearest : ResizeFilter::Default;
    // An empty file is read like any other, so it gets the command line's message.
    static uint8_t nothing = 0;
    FILE* stream = fmemopen(size > 0 ? const_cast<uint8_t*>(bytes) : &nothing,
                            size > 0 ? static_cast<size_t>(size) : 1, "rb");
    if (stream == nullptr) {
        held.message = "Error opening file: not enough memory";
        return -1;
    }
    if (size == 0)
        (void)fseek(stream, 0, SEEK_END);
    const PictureLoad picture = readPicture(stream, choices);
    (void)fclose(stream); // a stream that was only read from
    if (picture.failure != Reason::None) {
        held.message = describeReason(picture.failure);
        return -1;
    }
    free(held.source.pixels);
    held.source = picture.image;
    rgbaFromRgb(held.source.pixels, pixelCount(held.source), &held.sourceRgba);
    held.rgnFile.clear();
    held.resultRgba.clear();
    held.message.clear();
    for (const Reason warning : picture.warnings)
        held.message += (held.message.empty() ? "" : "\n") + describeReason(warning);
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* hx_message() {
    return held.message.c_str();
}
EMSCRIPTEN_KEEPALIVE int hx_width() {
    return held.source.width;
}
EMSCRIPTEN_KEEPALIVE int hx_height() {
    return held.source.height;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* hx_source_rgba() {
    return held.sourceRgba.data();
}

// Converts the held source with the method numbered as pageDitherMethod
// reads it. 0, or -1 with hx_message().
EMSCRIPTEN_KEEPALIVE int hx_convert(int method, int serpentine, int greenCompensation) {
    Quantisation quantisation;
    quantisation.method = pageDitherMethod(method);
    quantisation.serpentine = serpentine != 0;
    quantisation.greenCompensation = greenCompensation != 0;
    int32_t bytes = 0;
    uint8_t* words = quantiseImage(held.source, quantisation, &bytes);
    if (words == nullptr) {
        held.message = "Error converting: not enough memory";
        return -1;
    }
    held.quantisation = quantisation;
    held.rgnFile.resize(rgnHeaderBytes + static_cast<size_t>(bytes));
    encodeRgnHeader(held.source.width, held.source.height, held.rgnFile.data());
    memcpy(held.rgnFile.data() + rgnHeaderBytes, words, static_cast<size_t>(bytes));
    rgbaFromWords(words, pixelCount(held.source), &held.resultRgba);
    free(words);
    return 0;
}

EMSCRIPTEN_KEEPALIVE const uint8_t* hx_rgn_file() {
    return held.rgnFile.data();
}
EMSCRIPTEN_KEEPALIVE int hx_rgn_size() {
    return static_cast<int>(held.rgnFile.size());
}
// The last conversion's words as the file named fileName (its extension
// chooses the format, as on the command line) from the picture named
// sourceName, little- or big-endian (order 0 or 1): the same bytes as
// halvex-cli convert writes. 0, or -1 with hx_message(); read with
// hx_file_data() and hx_file_size().
EMSCRIPTEN_KEEPALIVE int hx_word_file(const char* fileName, const char* sourceName, int order) {
    const WordFileChoice choice = describeWordFile(wordFormatOfName(fileName),
                                                   order == 1 ? ByteOrder::big : ByteOrder::little,
                                                   "", held.quantisation, sourceName, fileName);
    if (held.rgnFile.empty() || (choice.format == WordFormat::c && pixelCount(held.source) == 0)) {
        held.message = "A picture without pixels cannot be C text";
        return -1;
    }
    held.wordFile = wordFileBytes(choice, held.source.width, held.source.height,
                                  held.rgnFile.data() + rgnHeaderBytes);
    return 0;
}
EMSCRIPTEN_KEEPALIVE const char* hx_file_data() {
    return held.wordFile.data();
}
EMSCRIPTEN_KEEPALIVE int hx_file_size() {
    return static_cast<int>(held.wordFile.size());
}

EMSCRIPTEN_KEEPALIVE const uint8_t* hx_result_rgba() {
    return held.resultRgba.data();
}

// Measures the last conversion: PSNR (dB, infinite for an exact result),
// mean and largest CIEDE2000 and grey drift, read with hx_figures().
EMSCRIPTEN_KEEPALIVE void hx_measure() {
    const uint8_t* words = held.rgnFile.empty() ? nullptr : held.rgnFile.data() + rgnHeaderBytes;
    const QualityFigures figures =
        words != nullptr ? measureQuality(held.source, words) : QualityFigures{};
    double psnr = 0;
    held.figures[0] = psnrOf(figures, &psnr) ? psnr : INFINITY;
    held.figures[1] = meanDeltaEOf(figures);
    held.figures[2] = figures.deltaEMax;
    held.figures[3] = greyDriftOf(figures);
}
EMSCRIPTEN_KEEPALIVE const double* hx_figures() {
    return held.figures;
}

// Encodes the last result as a PNG file. 0, or -1 with hx_message().
EMSCRIPTEN_KEEPALIVE int hx_preview_png() {
    std::vector<uint8_t> rgb(pixelCount(held.source) * 3);
    for (size_t i = 0; i < pixelCount(held.source); ++i)
        memcpy(&rgb[3 * i], &held.resultRgba[4 * i], 3);
    held.png = encodePngRgb(rgb.data(), held.source.width, held.source.height);
    if (held.png.empty()) {
        held.message = "Error writing the preview: a picture without pixels cannot be saved as PNG";
        return -1;
    }
    return 0;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* hx_png_data() {
    return held.png.data();
}
EMSCRIPTEN_KEEPALIVE int hx_png_size() {
    return static_cast<int>(held.png.size());
}

} // extern "C"
