#include "image/decoders.h"
#include "image/image.h"
#include "image/stream_io.h"

#include <climits>

// A seek that fails shows in the positions: ftell then reports -1 or a
// position that the later reads contradict, and every read is checked.
int32_t fileLength(FILE* stream) {
    const long position = ftell(stream);
    (void)fseek(stream, 0, SEEK_END);
    const long length = ftell(stream);
    (void)fseek(stream, position, SEEK_SET);
    if (length < 0 || length > INT32_MAX)
        return -1;
    return static_cast<int32_t>(length);
}

uint8_t* loadImage(FILE* stream, int32_t* width, int32_t* height) {
    const int32_t length = fileLength(stream);
    const long start = ftell(stream);
    LoaderContext ctx{stream, 0, length};
    if (length < 0 || start < 0 || start > length)
        return failLoad(ctx);
    ctx.imageStart = static_cast<int32_t>(start);
    const int32_t remaining = length - ctx.imageStart;

    uint8_t signature[2];
    if (!readExact(stream, signature, sizeof signature))
        return failLoad(ctx);
    (void)fseek(stream, ctx.imageStart, SEEK_SET); // the decoder's first read tells

    int32_t decodedWidth = 0;
    int32_t decodedHeight = 0;
    uint8_t* pixels = nullptr;
    if (signature[0] == 'B' && signature[1] == 'M')
        pixels = decodeBmp(stream, ctx.imageStart, remaining, &decodedWidth, &decodedHeight);
    else
        pixels = decodeTga(stream, ctx.imageStart, remaining, &decodedWidth, &decodedHeight);
    if (pixels == nullptr)
        return nullptr;
    *width = decodedWidth;
    *height = decodedHeight;
    return pixels;
}
