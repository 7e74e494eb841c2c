// The command line's reading of one picture: PNG, JPEG and GIF by the
// general decoder, BMP and TGA by the compatible reader (loadImage, with
// warnings where it is known to misread) or the standard one; then
// transparency, orientation and resizing.
#include "image/picture.h"

#include <cstdlib>

namespace {

constexpr size_t readChunk = 1 << 16;

// The whole stream from its current position. The stream is left where it
// was, for the compatible reader.
bool readAll(FILE* stream, std::vector<uint8_t>* bytes) {
    const long start = ftell(stream);
    if (start < 0)
        return false;
    size_t used = 0;
    for (;;) {
        bytes->resize(used + readChunk);
        const size_t got = fread(bytes->data() + used, 1, readChunk, stream);
        used += got;
        if (got < readChunk)
            break;
    }
    bytes->resize(used);
    const bool ok = ferror(stream) == 0;
    clearerr(stream);
    return fseek(stream, start, SEEK_SET) == 0 && ok;
}

bool isBmp(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

bool isJpeg(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
}

LoadReason decodeRgba(const std::vector<uint8_t>& bytes, const ReadingChoices& choices,
                      RgbaPicture* picture) {
    if (isGeneralFormat(bytes.data(), bytes.size()))
        return decodeGeneral(bytes.data(), bytes.size(), choices.maxPixels, picture);
    if (isBmp(bytes))
        return decodeStandardBmp(bytes.data(), bytes.size(), choices.maxPixels, picture);
    return decodeStandardTga(bytes.data(), bytes.size(), choices.maxPixels, picture);
}

LoadReason readComposed(const std::vector<uint8_t>& bytes, const ReadingChoices& choices,
                        RgbImage* image) {
    RgbaPicture picture{};
    const LoadReason reason = decodeRgba(bytes, choices, &picture);
    if (reason != LoadReason::None)
        return reason;
    uint8_t* rgb = composeOver(picture, choices.background);
    free(picture.pixels);
    if (rgb == nullptr)
        return LoadReason::OutOfMemory;
    *image = RgbImage{picture.width, picture.height, rgb};
    if (isJpeg(bytes) && !applyOrientation(image, jpegOrientation(bytes.data(), bytes.size()))) {
        free(image->pixels);
        return LoadReason::OutOfMemory;
    }
    return LoadReason::None;
}

// The compatible reader, as the dialog runs it. When it refuses a file the
// standard reader reads, the reason says so.
LoadReason readCompatible(FILE* stream, const std::vector<uint8_t>& bytes,
                          const ReadingChoices& choices, PictureLoad* load) {
    int64_t pixels = 0;
    if (compatibleSize(bytes.data(), bytes.size(), &pixels) && pixels > choices.maxPixels)
        return LoadReason::TooManyPixels;
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* block = loadImage(stream, &width, &height);
    if (block != nullptr) {
        load->image = RgbImage{width, height, block};
        load->warnings = compatibleWarnings(bytes.data(), bytes.size(), choices.maxPixels);
        return LoadReason::None;
    }
    RgbaPicture picture{};
    const LoadReason standard = decodeRgba(bytes, choices, &picture);
    if (standard != LoadReason::None)
        return standard;
    free(picture.pixels);
    return compatibleRefusal(bytes.data(), bytes.size());
}

} // namespace

PictureLoad readPicture(FILE* stream, const ReadingChoices& choices) {
    PictureLoad load;
    std::vector<uint8_t> bytes;
    if (!readAll(stream, &bytes)) {
        load.failure = LoadReason::NotRead;
        return load;
    }
    LoadReason reason = LoadReason::None;
    if (choices.decoder == Decoder::Compatible && !isGeneralFormat(bytes.data(), bytes.size()))
        reason = readCompatible(stream, bytes, choices, &load);
    else
        reason = readComposed(bytes, choices, &load.image);
    if (reason == LoadReason::None) {
        reason = resizePicture(&load.image, choices);
        if (reason != LoadReason::None) {
            free(load.image.pixels);
            load.image = RgbImage{};
        }
    }
    load.failure = reason;
    return load;
}
