#include "image/stream_io.h"

#include <cstdlib>

bool readExact(FILE* stream, void* buffer, size_t count) {
    if (count == 0)
        return false;
    return fread(buffer, 1, count, stream) == count;
}

void seekFromImageStart(const LoaderContext& ctx, uint32_t offset) {
    const uint32_t wrapped = static_cast<uint32_t>(ctx.imageStart) + offset;
    if (wrapped > static_cast<uint32_t>(INT32_MAX))
        return;
    // A seek past the end is not refused; the next read fails instead.
    (void)fseek(ctx.stream, static_cast<long>(wrapped), SEEK_SET);
}

int64_t bytesLeft(const LoaderContext& ctx) {
    const long position = ftell(ctx.stream);
    if (position < 0)
        return 0;
    return static_cast<int64_t>(ctx.streamEnd) - static_cast<int64_t>(position);
}

uint8_t* failLoad(const LoaderContext& ctx, void* block1, void* block2) {
    free(block1);
    free(block2);
    // Nothing is read after this seek, and the caller only closes the stream.
    if (ctx.streamEnd >= 0)
        (void)fseek(ctx.stream, ctx.streamEnd, SEEK_SET);
    else
        (void)fseek(ctx.stream, 0, SEEK_END);
    return nullptr;
}

int32_t imageBytes(int32_t width, int32_t height, int32_t channels) {
    if (width < 0 || height < 0 || channels < 0)
        return -1;
    // Two 32-bit factors cannot overflow 64 bits; a third one can, so the
    // partial product is bounded first.
    const int64_t rowBytes = static_cast<int64_t>(width) * channels;
    if (rowBytes > INT32_MAX)
        return height == 0 ? 0 : -1;
    const int64_t bytes = rowBytes * height;
    if (bytes > INT32_MAX)
        return -1;
    return static_cast<int32_t>(bytes);
}

uint8_t* allocBlock(int32_t bytes) {
    if (bytes < 0)
        return nullptr;
    return static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : static_cast<size_t>(bytes)));
}
