// The page's entry points into the core, called from the worker scripts.
//
// The module holds at most one source picture (from the last load, which
// releases the previous one first, so a failed load leaves nothing behind)
// and the words of its last conversion; the page asks for what it shows or
// saves. The large blocks are malloc'd and checked, so that running out of
// memory is a message and never the end of the module; what the page draws
// leaves a band of rows at a time. Every returned pointer stays valid until
// the next call that replaces what it points to.
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
    uint8_t* words = nullptr;  // of the last conversion of source, malloc'd
    Quantisation quantisation; // that made them
    std::string wordFile;      // the last download made of them
    uint8_t* band = nullptr;   // the rows of RGBA last asked for, malloc'd
    std::string message;
    double figures[4] = {0, 0, 0, 0};
    std::vector<uint8_t> png;
};

Held held;

size_t pixelCount(const RgbImage& image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
}

void releasePicture() {
    free(held.source.pixels);
    held.source = RgbImage{0, 0, nullptr};
    free(held.words);
    held.words = nullptr;
    held.wordFile = std::string();
    held.png = std::vector<uint8_t>();
    free(held.band);
    held.band = nullptr;
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

// A resize the core refuses, or one it had no memory for, is the resize
// fields' failure rather than the file's.
bool isResizeFailure(Reason reason, const ReadingChoices& choices) {
    const bool resizing = choices.resizeWidth > 0 || choices.resizeHeight > 0;
    return reason == Reason::ResizeTooLarge || (resizing && reason == Reason::OutOfMemory);
}

// Source (kind 0), result (1) or their difference per channel (2), of rows
// first to first + count - 1, as RGBA.
void fillBand(int kind, int32_t first, int32_t count, uint8_t* out) {
    const size_t width = static_cast<size_t>(held.source.width);
    const size_t start = static_cast<size_t>(first) * width;
    const size_t pixels = static_cast<size_t>(count) * width;
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* rgb = held.source.pixels + 3 * (start + i);
        uint8_t* px = out + 4 * i;
        if (kind == 0) {
            memcpy(px, rgb, 3);
        } else {
            widenWord(fieldU16(held.words + 2 * (start + i)), px);
            if (kind == 2)
                for (int c = 0; c < 3; ++c)
                    px[c] = static_cast<uint8_t>(std::abs(px[c] - rgb[c]));
        }
        px[3] = 255;
    }
}

} // namespace

extern "C" {

// Loads the size bytes at bytes as the new source, read with the command
// line's choices: decoder 0 compatible, 1 standard; background 0xRRGGBB;
// resize width and height (0 leaves a side free, both 0 keep the size);
// fit 0 contain, 1 cover, 2 stretch; filter 0 smooth, 1 nearest. 0, with any
// warnings in hx_message(); -1 when the file cannot be read, -2 when the
// resize cannot be done, with the message for the user there. The previous
// picture is released either way.
EMSCRIPTEN_KEEPALIVE int hx_load(const uint8_t* bytes, int size, int decoder, uint32_t background,
                                 int resizeWidth, int resizeHeight, int fit, int filter) {
    releasePicture();
    ReadingChoices choices;
    choices.decoder = decoder == 1 ? Decoder::Standard : Decoder::Compatible;
    choices.background = background & 0xFFFFFF;
    choices.resizeWidth = resizeWidth > 0 ? resizeWidth : 0;
    choices.resizeHeight = resizeHeight > 0 ? resizeHeight : 0;
    choices.fit = fit == 1 ? Fit::Cover : fit == 2 ? Fit::Stretch : Fit::Contain;
    choices.filter = filter == 1 ? ResizeFilter::Nearest : ResizeFilter::Default;
    // An empty file is read like any other, so it gets the usual message.
    static uint8_t nothing = 0;
    FILE* stream = fmemopen(size > 0 ? const_cast<uint8_t*>(bytes) : &nothing,
                            size > 0 ? static_cast<size_t>(size) : 1, "rb");
    if (stream == nullptr) {
        held.message = describeReasonForPage(Reason::OutOfMemory);
        return -1;
    }
    if (size == 0)
        (void)fseek(stream, 0, SEEK_END);
    const PictureLoad picture = readPicture(stream, choices);
    (void)fclose(stream); // a stream that was only read from
    if (picture.failure != Reason::None) {
        held.message = describeReasonForPage(picture.failure);
        return isResizeFailure(picture.failure, choices) ? -2 : -1;
    }
    held.source = picture.image;
    held.message.clear();
    for (const Reason warning : picture.warnings)
        held.message += (held.message.empty() ? "" : "\n") + describeReasonForPage(warning);
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* hx_message() {
    return held.message.c_str();
}
// The words for a picture the page could not hold at all.
EMSCRIPTEN_KEEPALIVE const char* hx_out_of_memory_message() {
    held.message = describeReasonForPage(Reason::OutOfMemory);
    return held.message.c_str();
}
EMSCRIPTEN_KEEPALIVE int hx_width() {
    return held.source.width;
}
EMSCRIPTEN_KEEPALIVE int hx_height() {
    return held.source.height;
}

// Rows first to first + count - 1 of the source (kind 0), the last result
// (1) or their difference (2) as RGBA, 4 x width x count bytes; null when
// there is no such picture, the rows are outside it or the memory cannot be had.
EMSCRIPTEN_KEEPALIVE const uint8_t* hx_rgba_rows(int kind, int first, int count) {
    free(held.band);
    held.band = nullptr;
    if (held.source.pixels == nullptr || (kind != 0 && held.words == nullptr) || first < 0 ||
        count <= 0 || first > held.source.height - count || kind < 0 || kind > 2)
        return nullptr;
    held.band = static_cast<uint8_t*>(malloc(static_cast<size_t>(count) * held.source.width * 4));
    if (held.band != nullptr)
        fillBand(kind, first, count, held.band);
    return held.band;
}

// Converts the held source with the method numbered as pageDitherMethod
// reads it. 0, or -1 with hx_message().
EMSCRIPTEN_KEEPALIVE int hx_convert(int method, int serpentine, int greenCompensation) {
    free(held.words);
    held.words = nullptr;
    held.wordFile = std::string();
    Quantisation quantisation;
    quantisation.method = pageDitherMethod(method);
    quantisation.serpentine = serpentine != 0;
    quantisation.greenCompensation = greenCompensation != 0;
    int32_t bytes = 0;
    held.words = quantiseImage(held.source, quantisation, &bytes);
    if (held.words == nullptr) {
        held.message = describeReasonForPage(Reason::OutOfMemory);
        return -1;
    }
    held.quantisation = quantisation;
    return 0;
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
    if (held.words == nullptr || (choice.format == WordFormat::c && pixelCount(held.source) == 0)) {
        held.message = "A picture without pixels cannot be C text";
        return -1;
    }
    held.wordFile = std::string();
    held.wordFile = wordFileBytes(choice, held.source.width, held.source.height, held.words);
    return 0;
}
EMSCRIPTEN_KEEPALIVE const char* hx_file_data() {
    return held.wordFile.data();
}
EMSCRIPTEN_KEEPALIVE int hx_file_size() {
    return static_cast<int>(held.wordFile.size());
}

// Measures the last conversion: PSNR (dB, infinite for an exact result),
// mean and largest CIEDE2000 and grey drift, read with hx_figures().
EMSCRIPTEN_KEEPALIVE void hx_measure() {
    const QualityFigures figures =
        held.words != nullptr ? measureQuality(held.source, held.words) : QualityFigures{};
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
    held.png = std::vector<uint8_t>();
    if (held.words == nullptr) {
        held.message = "There is no result to save";
        return -1;
    }
    const size_t pixels = pixelCount(held.source);
    auto* rgb = static_cast<uint8_t*>(malloc(pixels * 3 + 1));
    if (rgb == nullptr) {
        held.message = describeReasonForPage(Reason::OutOfMemory);
        return -1;
    }
    for (size_t i = 0; i < pixels; ++i)
        widenWord(fieldU16(held.words + 2 * i), rgb + 3 * i);
    held.png = encodePngRgb(rgb, held.source.width, held.source.height);
    free(rgb);
    if (held.png.empty()) {
        held.message = "A picture without pixels cannot be saved as PNG";
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
