#include "convert/rgn_writer.h"
#include "convert/target_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

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
    return convertImageToFile(targetPath, source, dialogQuantisation(greenCompensation, mode),
                              systemError);
}

int32_t convertImageToFile(const char* targetPath, const RgbImage& source,
                           const Quantisation& quantisation, int* systemError) {
    const RgbImage image = imageOrEmpty(source);
    if (image.width < 0 || image.height < 0)
        return fail(systemError, EINVAL);
    if (!rgnWordsFit(image))
        return fail(systemError, ENOMEM);
    RowQuantiser rows{};
    const int32_t pieceRows = image.width > 0 && image.height > 0 ? rowsPerPiece(image.width) : 0;
    uint8_t* piece = nullptr;
    if (pieceRows > 0) {
        piece = static_cast<uint8_t*>(malloc(static_cast<size_t>(pieceRows) * 2 * image.width));
        if (piece == nullptr || !startRowQuantiser(&rows, image, quantisation)) {
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
