// Encodes with stb_image_write: the same integer code on every platform, so
// a picture gives the same file bytes on Linux and Windows.
#include "formats/png_encode.h"

#include <climits>
#include <new>
#include <utility>

#include <cstdlib>

// The encoder's allocations, never of zero bytes, whose result the C
// standard leaves to each library.
#define STBIW_MALLOC(size) malloc((size) == 0 ? 1 : (size))
#define STBIW_REALLOC(block, size) realloc((block), (size) == 0 ? 1 : (size))
#define STBIW_FREE(block) free(block)
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

struct PngOutput {
    std::vector<uint8_t> bytes;
    bool failed;
};

// Called by the encoder, which cannot be told of a failure: it is noted and
// the rest ignored, rather than thrown through the encoder's allocations.
void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<PngOutput*>(context);
    if (out->failed)
        return;
    try {
        const auto* bytes = static_cast<const uint8_t*>(data);
        out->bytes.insert(out->bytes.end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        out->failed = true;
    }
}

// The encoder keeps its filtered rows, one byte longer each, and the
// compressed stream in blocks sized by int; half the range leaves room for
// the stream's growth.
bool encoderCanHold(int32_t width, int32_t height) {
    return width > 0 && height > 0 && width <= (INT_MAX / 2 - 1) / 3 &&
           (int64_t{3} * width + 1) * height <= INT_MAX / 2;
}

// One filter for every row (Sub) instead of trying all five per row, and a
// shorter match search: on sheets and previews this halves the time for
// files a few percent larger, or smaller. Set once, before any encoding.
bool configureEncoder() {
    stbi_write_force_png_filter = 1;
    stbi_write_png_compression_level = 4;
    return true;
}

} // namespace

std::vector<uint8_t> encodePngRgb(const uint8_t* rgb, int32_t width, int32_t height) {
    static const bool configured = configureEncoder();
    (void)configured;
    PngOutput out{{}, false};
    if (rgb == nullptr || !encoderCanHold(width, height))
        return {};
    if (stbi_write_png_to_func(appendBytes, &out, width, height, 3, rgb, 3 * width) == 0 ||
        out.failed)
        return {};
    return std::move(out.bytes);
}
