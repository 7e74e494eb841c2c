#include "fuzz_support.h"

#include <cstdlib>
#include <cstring>

bool splitInput(const uint8_t* data, size_t size, size_t controlBytes, FuzzInput* input) {
    if (size < controlBytes || controlBytes > 4)
        return false;
    uint32_t control = 0;
    for (size_t i = 0; i < controlBytes; ++i)
        control |= static_cast<uint32_t>(data[i]) << (8 * i);
    *input = FuzzInput{data + controlBytes, size - controlBytes, control};
    return true;
}

bool openMemoryStream(const uint8_t* bytes, size_t size, MemoryStream* out) {
    // An exact-size heap copy, so that a read past the end of the image bytes
    // by anything but the stream itself shows up under the address sanitizer.
    char* buffer = static_cast<char*>(malloc(size == 0 ? 1 : size));
    if (buffer == nullptr)
        return false;
    if (size > 0)
        memcpy(buffer, bytes, size);
    FILE* stream = fmemopen(buffer, size, "rb");
    if (stream == nullptr) {
        free(buffer);
        return false;
    }
    *out = MemoryStream{stream, buffer};
    return true;
}

namespace {

struct Shrinking {
    const char* bytes;
    size_t delivered;
    size_t claimed;
    off64_t position;
};

ssize_t readShrinking(void* cookie, char* buffer, size_t size) {
    auto* s = static_cast<Shrinking*>(cookie);
    if (s->position < 0 || static_cast<size_t>(s->position) >= s->delivered)
        return 0;
    const size_t available = s->delivered - static_cast<size_t>(s->position);
    const size_t count = size < available ? size : available;
    memcpy(buffer, s->bytes + s->position, count);
    s->position += static_cast<off64_t>(count);
    return static_cast<ssize_t>(count);
}

int seekShrinking(void* cookie, off64_t* offset, int whence) {
    auto* s = static_cast<Shrinking*>(cookie);
    off64_t base = 0;
    if (whence == SEEK_CUR)
        base = s->position;
    else if (whence == SEEK_END)
        base = static_cast<off64_t>(s->claimed);
    if (*offset < -base)
        return -1;
    s->position = base + *offset;
    *offset = s->position;
    return 0;
}

int closeShrinking(void* cookie) {
    delete static_cast<Shrinking*>(cookie);
    return 0;
}

} // namespace

bool openShrinkingStream(const uint8_t* bytes, size_t deliveredSize, size_t claimedSize,
                         MemoryStream* out) {
    char* buffer = static_cast<char*>(malloc(deliveredSize == 0 ? 1 : deliveredSize));
    if (buffer == nullptr)
        return false;
    if (deliveredSize > 0)
        memcpy(buffer, bytes, deliveredSize);
    auto* state = new Shrinking{buffer, deliveredSize, claimedSize, 0};
    cookie_io_functions_t functions{readShrinking, nullptr, seekShrinking, closeShrinking};
    FILE* stream = fopencookie(state, "rb", functions);
    if (stream == nullptr) {
        delete state;
        free(buffer);
        return false;
    }
    *out = MemoryStream{stream, buffer};
    return true;
}

void closeMemoryStream(MemoryStream* stream) {
    fclose(stream->stream);
    free(stream->buffer);
    *stream = MemoryStream{nullptr, nullptr};
}

void fuzzFailure(const char* what) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}
