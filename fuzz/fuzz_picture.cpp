// The command line's reading of a picture (readPicture): the decoders of
// record for PNG, JPEG, GIF and WebP (the libraries themselves are not
// instrumented; the code around them is), the compatible and standard BMP and TGA
// readers, transparency, EXIF orientation and resizing. The first two input
// bytes choose the reading: bit 0 the standard decoder, bits 1-2 the fit,
// bits 3-5 the filter, bit 6 whether to resize, bits 8-15 the size asked for
// (1 to 16 on each side), and bit 7 whether the width is left out.
//
// Checked on every input: a failure hands nothing over; a success hands back
// a block of exactly width x height x 3 readable bytes, within the pixel
// limit. A file that is also read by rows (startRowReading), a band of 1 to
// 8 rows at a time (bits 3-5) into a block of exactly that band, gives the
// same rows and the same failure.
#include "fuzz_support.h"
#include "prepare/prepare.h"

#include <cstdlib>
#include <cstring>

namespace {

// Small enough that neither libFuzzer's memory limit nor its time limit is
// the first to object: resampling a large picture under the sanitizers takes
// seconds.
constexpr int64_t fuzzMaxPixels = 1 << 18;

volatile uint8_t blockSum;

ReadingChoices choicesFrom(uint32_t control) {
    ReadingChoices choices;
    choices.decoder = (control & 1) != 0 ? Decoder::Standard : Decoder::Compatible;
    choices.fit = static_cast<Fit>(((control >> 1) & 3) % 3);
    choices.filter = static_cast<ResizeFilter>(((control >> 3) & 7) % 6);
    if ((control & 0x40) != 0) {
        choices.resizeWidth =
            (control & 0x80) != 0 ? 0 : static_cast<int32_t>((control >> 8) & 15) + 1;
        choices.resizeHeight = static_cast<int32_t>((control >> 12) & 15) + 1;
    }
    choices.background = control * 0x9E3779B1u & 0xFFFFFF;
    choices.maxPixels = fuzzMaxPixels;
    return choices;
}

// The rows of the reading by rows against the whole reading's picture.
void checkReadingByRows(const uint8_t* bytes, size_t size, const ReadingChoices& choices,
                        int32_t band, const PictureLoad& whole) {
    MemoryStream memory{};
    if (!openMemoryStream(bytes, size, &memory))
        return;
    RowReading reading;
    if (!startRowReading(memory.stream, choices, &reading)) {
        closeMemoryStream(&memory);
        return;
    }
    FUZZ_CHECK(whole.failure != Reason::None ||
               (whole.image.width == reading.width && whole.image.height == reading.height));
    const size_t rowBytes = size_t{3} * static_cast<size_t>(reading.width);
    auto* rows = static_cast<uint8_t*>(malloc(rowBytes * static_cast<size_t>(band)));
    FUZZ_CHECK(rows != nullptr);
    for (int32_t y = 0; y < reading.height; y += band) {
        const int32_t count = reading.height - y < band ? reading.height - y : band;
        if (readNextRows(&reading, count, rows) != Reason::None)
            break;
        FUZZ_CHECK(whole.failure != Reason::None ||
                   memcmp(rows, whole.image.pixels + rowBytes * static_cast<size_t>(y),
                          rowBytes * static_cast<size_t>(count)) == 0);
    }
    free(rows);
    const PictureLoad ended = endRowReading(&reading);
    closeMemoryStream(&memory);
    FUZZ_CHECK(ended.failure == whole.failure);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input{};
    if (!splitInput(data, size, 2, &input))
        return 0;
    MemoryStream memory{};
    if (!openMemoryStream(input.bytes, input.size, &memory))
        return 0;
    const ReadingChoices choices = choicesFrom(input.control);
    const PictureLoad load = readPicture(memory.stream, choices);
    closeMemoryStream(&memory);
    checkReadingByRows(input.bytes, input.size, choices,
                       static_cast<int32_t>((input.control >> 3) & 7) + 1, load);
    if (load.failure != Reason::None) {
        FUZZ_CHECK(load.image.pixels == nullptr);
        return 0;
    }
    FUZZ_CHECK(load.image.pixels != nullptr && load.image.width >= 0 && load.image.height >= 0);
    const int64_t pixels = int64_t{load.image.width} * load.image.height;
    FUZZ_CHECK(pixels <= fuzzMaxPixels);
    uint8_t sum = 0;
    for (int64_t i = 0; i < pixels * 3; ++i)
        sum = static_cast<uint8_t>(sum + load.image.pixels[i]);
    blockSum = sum;
    free(load.image.pixels);
    return 0;
}
