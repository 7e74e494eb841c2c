#include "convert/convert.h"
#include "convert/target_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// Sizes a run needs, checked so that no multiplication overflows.
bool planeShapeFits(int32_t width, int32_t height) {
    return width <= (INT32_MAX - 6) / 3 && height <= INT32_MAX - 2;
}

void fillWorkingPlane(ChannelPlane P, const RgbImage& image) {
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* in = image.pixels + static_cast<size_t>(y) * rowBytes;
        int32_t* out = P[y];
        for (size_t j = 0; j < rowBytes; ++j)
            out[j] = in[j] * 257;
    }
}

void packPixelWords(ChannelPlane Q, int32_t width, int32_t height, uint8_t* out) {
    for (int32_t y = 0; y < height; ++y) {
        const int32_t* q = Q[y];
        for (int32_t x = 0; x < width; ++x, q += 3) {
            const auto word = static_cast<uint16_t>(q[0] + (q[1] >> 5) + (q[2] >> 11));
            *out++ = static_cast<uint8_t>(word & 0xFF);
            *out++ = static_cast<uint8_t>(word >> 8);
        }
    }
}

void runPass(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
             int32_t greenCompensation, DitherMode mode) {
    if (mode == ditherFloydSteinbergMode)
        ditherFloydSteinberg(P, Q, width, height, greenCompensation);
    else if (mode == ditherAtkinsonBoyleMode)
        ditherAtkinsonBoyle(P, Q, width, height, greenCompensation);
    else
        quantisePlain(P, Q, width, height, greenCompensation);
}

int32_t fail(int* systemError, int code) {
    if (systemError != nullptr)
        *systemError = code;
    return -1;
}

} // namespace

int32_t writeInt32(FILE* stream, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    return fwrite(bytes, 1, 4, stream) == 4 ? 0 : -1;
}

void rgnHeaderWords(int32_t width, int32_t height, int32_t words[12]) {
    const int32_t fixed[9] = {0x01700020, 32, 64, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
    words[0] = width;
    words[1] = height;
    words[2] =
        static_cast<int32_t>(static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 2u);
    for (int i = 0; i < 9; ++i)
        words[3 + i] = fixed[i];
}

namespace {

// The pixel block fits the format's 32-bit size word, and the planes of the
// full-plane path can be laid out.
bool wordsFit(const RgbImage& image) {
    const int64_t bytes = static_cast<int64_t>(image.width) * image.height * 2;
    return bytes <= INT32_MAX && (bytes == 0 || planeShapeFits(image.width, image.height));
}

// The pixel-word block for an image, allocated but not filled: null when
// the image is invalid (negative sizes, too large) or the memory cannot be
// had.
uint8_t* allocWordsFor(const RgbImage& image, int32_t* byteCount) {
    if (image.width < 0 || image.height < 0 || !wordsFit(image))
        return nullptr;
    const auto bytes = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 2;
    auto* words = static_cast<uint8_t*>(malloc(bytes == 0 ? 1 : bytes));
    if (words != nullptr)
        *byteCount = static_cast<int32_t>(bytes);
    return words;
}

// An image with a null pixel block counts as 0 x 0.
RgbImage imageOrEmpty(const RgbImage& image) {
    return image.pixels != nullptr ? image : RgbImage{0, 0, nullptr};
}

} // namespace

uint8_t* quantiseImage(const RgbImage& source, int32_t greenCompensation, DitherMode mode,
                       int32_t* byteCount) {
    const RgbImage image = imageOrEmpty(source);
    int32_t bytes = 0;
    uint8_t* words = allocWordsFor(image, &bytes);
    if (words == nullptr)
        return nullptr;
    if (bytes > 0 && !quantiseRows(image, greenCompensation, mode, words)) {
        free(words);
        return nullptr;
    }
    *byteCount = bytes;
    return words;
}

uint8_t* quantiseImageFullPlanes(const RgbImage& source, int32_t greenCompensation, DitherMode mode,
                                 int32_t* byteCount) {
    const RgbImage image = imageOrEmpty(source);
    int32_t bytes = 0;
    uint8_t* words = allocWordsFor(image, &bytes);
    if (words == nullptr)
        return nullptr;
    *byteCount = bytes;
    if (bytes == 0)
        return words;
    const int32_t columns = 3 * image.width + 6;
    const int32_t rows = image.height + 2;
    ChannelPlane P = allocPlane(columns, rows);
    ChannelPlane Q = P != nullptr ? allocPlane(columns, rows) : nullptr;
    if (Q == nullptr) {
        freePlane(P, rows);
        free(words);
        return nullptr;
    }
    fillWorkingPlane(P, image);
    runPass(P, Q, image.width, image.height, greenCompensation, mode);
    packPixelWords(Q, image.width, image.height, words);
    freePlane(P, rows);
    freePlane(Q, rows);
    return words;
}

namespace {

// An RGN/MBR file being written: the header goes out when it is opened,
// words follow in as many pieces as the caller likes, and finishing checks
// the close and removes a regular file that did not come out whole.
struct RgnTarget {
    const char* path;
    FILE* stream;
    bool regular;
    bool written;
    int code;
};

bool openRgnTarget(RgnTarget* target, const char* path, int32_t width, int32_t height) {
    *target = RgnTarget{path, nullptr, false, true, 0};
    target->stream = openTargetFile(path, &target->regular);
    if (target->stream == nullptr) {
        target->code = errno;
        return false;
    }
    int32_t header[12];
    rgnHeaderWords(width, height, header);
    for (int32_t word : header)
        target->written = target->written && writeInt32(target->stream, word) == 0;
    if (!target->written)
        target->code = errno;
    return true;
}

void putRgnWords(RgnTarget* target, const uint8_t* words, size_t bytes) {
    if (!target->written || bytes == 0)
        return;
    target->written = fwrite(words, 1, bytes, target->stream) == bytes;
    if (!target->written)
        target->code = errno;
}

int32_t finishRgnTarget(RgnTarget* target, int* systemError) {
    if (target->stream == nullptr)
        return fail(systemError, target->code);
    if (fclose(target->stream) != 0 && target->written) {
        target->written = false;
        target->code = errno;
    }
    if (target->written)
        return 0;
    if (target->regular)
        (void)remove(target->path); // the run fails either way; this only tidies up
    return fail(systemError, target->code != 0 ? target->code : EIO);
}

// Rows quantised and written in one piece: enough to keep the writes large,
// few enough to stay in the cache.
int32_t rowsPerPiece(int32_t width) {
    const int64_t rowBytes = 2 * int64_t{width};
    return rowBytes >= (1 << 18) ? 1 : static_cast<int32_t>((1 << 18) / rowBytes);
}

} // namespace

int32_t writeRgnFile(const char* targetPath, int32_t width, int32_t height, const uint8_t* words,
                     int* systemError) {
    if (width < 0 || height < 0)
        return fail(systemError, EINVAL);
    RgnTarget target{};
    if (openRgnTarget(&target, targetPath, width, height))
        putRgnWords(&target, words, static_cast<size_t>(width) * static_cast<size_t>(height) * 2);
    return finishRgnTarget(&target, systemError);
}

int32_t convertImageToFile(const char* targetPath, const RgbImage& source,
                           int32_t greenCompensation, DitherMode mode, int* systemError) {
    const RgbImage image = imageOrEmpty(source);
    if (image.width < 0 || image.height < 0)
        return fail(systemError, EINVAL);
    if (!wordsFit(image))
        return fail(systemError, ENOMEM);
    // Everything the run needs is allocated before the target is touched.
    RowQuantiser rows{};
    // An image without pixels needs no rows at all, however wide it claims to be.
    const int32_t pieceRows = image.width > 0 && image.height > 0 ? rowsPerPiece(image.width) : 0;
    uint8_t* piece = nullptr;
    if (pieceRows > 0) {
        piece = static_cast<uint8_t*>(malloc(static_cast<size_t>(pieceRows) * 2 * image.width));
        if (piece == nullptr || !startRowQuantiser(&rows, image, greenCompensation, mode)) {
            free(piece);
            return fail(systemError, ENOMEM);
        }
    }
    RgnTarget target{};
    if (openRgnTarget(&target, targetPath, image.width, image.height)) {
        for (int32_t y = 0; piece != nullptr && target.written && y < image.height;
             y += pieceRows) {
            const int32_t count = image.height - y < pieceRows ? image.height - y : pieceRows;
            quantiseNextRows(&rows, count, piece);
            putRgnWords(&target, piece, static_cast<size_t>(count) * 2 * image.width);
        }
    }
    if (piece != nullptr)
        endRowQuantiser(&rows);
    free(piece);
    return finishRgnTarget(&target, systemError);
}
