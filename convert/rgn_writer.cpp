#include "convert/rgn_writer.h"

#include <cerrno>
#include <cstdlib>

namespace {

int32_t fail(int* systemError, int code) {
    if (systemError != nullptr)
        *systemError = code;
    return -1;
}

void putRgnHeader(OutputFile* file, int32_t width, int32_t height) {
    uint8_t header[rgnHeaderBytes];
    encodeRgnHeader(width, height, header);
    writeOutputBytes(file, header, sizeof header);
}

// Rows quantised and written in one piece: enough to keep the writes large,
// few enough to stay in the cache.
int32_t rowsPerPiece(int32_t width) {
    const int64_t rowBytes = 2 * int64_t{width};
    return rowBytes >= (1 << 18) ? 1 : static_cast<int32_t>((1 << 18) / rowBytes);
}

} // namespace

void putRgnFile(OutputFile* file, int32_t width, int32_t height, const uint8_t* words) {
    if (width < 0 || height < 0) {
        failOutputFile(file, EINVAL);
        return;
    }
    putRgnHeader(file, width, height);
    writeOutputBytes(file, words, static_cast<size_t>(width) * static_cast<size_t>(height) * 2);
}

int32_t writeRgnFile(const char* targetPath, int32_t width, int32_t height, const uint8_t* words,
                     int* systemError) {
    if (width < 0 || height < 0)
        return fail(systemError, EINVAL);
    OutputFile file;
    if (openOutputFile(&file, targetPath) < 0)
        return fail(systemError, file.error);
    putRgnFile(&file, width, height, words);
    return commitOutputFile(&file, systemError);
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
    OutputFile file;
    if (openOutputFile(&file, targetPath) == 0) {
        putRgnHeader(&file, image.width, image.height);
        for (int32_t y = 0; piece != nullptr && file.error == 0 && y < image.height;
             y += pieceRows) {
            const int32_t count = image.height - y < pieceRows ? image.height - y : pieceRows;
            quantiseNextRows(&rows, count, piece);
            writeOutputBytes(&file, piece, static_cast<size_t>(count) * 2 * image.width);
        }
    }
    if (piece != nullptr)
        endRowQuantiser(&rows);
    free(piece);
    return commitOutputFile(&file, systemError);
}
