#include "image/stream_io.h"

#include <cstdlib>

bool readExact(FILE* stream, void* buffer, size_t count) {
    if (count == 0)
        return false;
    return fread(buffer, 1, count, stream) == count;
}

void seekFromImageStart(const LoaderContext& ctx, uint32_t offset) {
    const uint32_t wrapped = static_cast<uint32_t>(ctx.imageStart) + offset;
    const auto position = static_cast<int32_t>(wrapped);
    if (position < 0)
        return;
    fseek(ctx.stream, position, SEEK_SET);
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
    if (ctx.streamEnd >= 0)
        fseek(ctx.stream, ctx.streamEnd, SEEK_SET);
    else
        fseek(ctx.stream, 0, SEEK_END);
    return nullptr;
}

int32_t imageBytes(int32_t width, int32_t height, int32_t channels) {
    if (width < 0 || height < 0 || channels < 0)
        return -1;
    const int64_t bytes = static_cast<int64_t>(width) * height * channels;
    if (bytes > INT32_MAX)
        return -1;
    return static_cast<int32_t>(bytes);
}

uint8_t* allocBlock(int32_t bytes) {
    if (bytes < 0)
        return nullptr;
    return static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : static_cast<size_t>(bytes)));
}
