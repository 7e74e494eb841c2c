// loadImage over an in-memory stream. The first four input bytes form a
// control word: bits 0-15 choose where the image starts inside the stream,
// bits 16-30 how much of the tail is cut off, and bit 31 whether the cut
// tail is still counted in the stream's length (a file truncated by another
// process after its length was taken). So images preceded by other data,
// streams ending early and streams that end before their stated length are
// explored as well as whole files.
//
// Checked on every input: a failure leaves the caller's width and height
// untouched and the stream at its end; a success hands back a block of
// exactly width x height x 3 readable bytes, never much more than the
// stream's bytes could describe.
#include "fuzz_support.h"
#include "image/image.h"

#include <cstdlib>

namespace {

constexpr int32_t untouchedWidth = -7;
constexpr int32_t untouchedHeight = -9;

// Run-length TGA packets are the densest encoding: two bytes describe 128
// pixels of 3 bytes each.
constexpr int64_t maxExpansion = 192;

// Keeps the sum of the block's bytes alive, so that every byte is read.
volatile uint8_t blockSum;

uint8_t touchAll(const uint8_t* block, size_t bytes) {
    uint8_t sum = 0;
    for (size_t i = 0; i < bytes; ++i)
        sum = static_cast<uint8_t>(sum + block[i]);
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input{};
    if (!splitInput(data, size, 4, &input))
        return 0;
    const bool shrinking = (input.control & 0x80000000u) != 0;
    const size_t cut = ((input.control >> 16) & 0x7FFF) % (input.size + 1);
    const size_t delivered = input.size - cut;
    const size_t length = shrinking ? input.size : delivered;
    const size_t start = (input.control & 0xFFFF) % (length + 1);

    MemoryStream memory{};
    const bool opened = shrinking ? openShrinkingStream(input.bytes, delivered, length, &memory)
                                  : openMemoryStream(input.bytes, length, &memory);
    if (!opened)
        return 0;
    fseek(memory.stream, static_cast<long>(start), SEEK_SET);

    int32_t width = untouchedWidth;
    int32_t height = untouchedHeight;
    uint8_t* pixels = loadImage(memory.stream, &width, &height);
    if (pixels == nullptr) {
        FUZZ_CHECK(width == untouchedWidth && height == untouchedHeight);
        FUZZ_CHECK(ftell(memory.stream) == static_cast<long>(length));
    } else {
        FUZZ_CHECK(width >= 0 && height >= 0);
        const int64_t bytes = int64_t{width} * height * 3;
        FUZZ_CHECK(bytes <= INT32_MAX);
        FUZZ_CHECK(bytes <= maxExpansion * static_cast<int64_t>(length - start) + 1024);
        blockSum = touchAll(pixels, static_cast<size_t>(bytes));
        free(pixels);
    }
    closeMemoryStream(&memory);
    return 0;
}
