// The command line's reading of one picture: PNG, JPEG and GIF by the
// general decoder, BMP and TGA by the compatible reader (loadImage, with
// warnings where it is known to misread) or the standard one; then the
// colour profile, transparency, orientation and resizing; or, for a BMP,
// JPEG or PNG that needs none of those steps, its rows while it is
// converted.
#include "prepare/steps.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Enough for every header that the compatible reader's warnings look at.
constexpr size_t headBytes = 4096;

// Up to `limit` bytes of the stream from its current position, in one block
// of the size the stream holds. The stream is left where it was, for the
// compatible reader.
bool readBytes(FILE* stream, size_t limit, std::vector<uint8_t>* bytes) {
    const long start = ftell(stream);
    if (start < 0 || fseek(stream, 0, SEEK_END) != 0)
        return false;
    const long end = ftell(stream);
    if (end < start || fseek(stream, start, SEEK_SET) != 0)
        return false;
    const auto length = static_cast<unsigned long>(end - start);
    bytes->resize(length < limit ? length : limit);
    const size_t got = bytes->empty() ? 0 : fread(bytes->data(), 1, bytes->size(), stream);
    bytes->resize(got);
    const bool ok = ferror(stream) == 0;
    clearerr(stream);
    return fseek(stream, start, SEEK_SET) == 0 && ok;
}

// The file's colour space, unless the choices say to ignore it; a space
// that cannot be used leaves a warning and the stored values.
Reason applyColourSpace(const ColourSpace& space, const ReadingChoices& choices,
                        RgbaPicture* picture, PictureLoad* load) {
    if (choices.colourProfile == ColourProfile::Ignore)
        return Reason::None;
    const ColourConversion conversion = convertToSrgb(picture, space);
    if (conversion.warning != Reason::None)
        load->warnings.push_back(conversion.warning);
    load->colourConvertedFrom = conversion.from;
    return conversion.failure;
}

Reason readComposed(const std::vector<uint8_t>& bytes, const ReadingChoices& choices,
                    PictureLoad* load) {
    RgbImage* image = &load->image;
    RgbaPicture picture{};
    Reason reason = decodePicture(bytes.data(), bytes.size(), choices.maxPixels, &picture,
                                  &load->colour, &load->warnings);
    if (reason == Reason::None)
        reason = applyColourSpace(load->colour, choices, &picture, load);
    if (reason != Reason::None) {
        free(picture.pixels);
        return reason;
    }
    uint8_t* rgb = packOpaque(&picture);
    if (rgb == nullptr)
        rgb = composeOver(picture, choices.background);
    free(picture.pixels);
    if (rgb == nullptr)
        return Reason::OutOfMemory;
    *image = RgbImage{picture.width, picture.height, rgb};
    // On failure the unturned picture stays with the caller, who releases it.
    if (!applyOrientation(image, jpegOrientation(bytes.data(), bytes.size())))
        return Reason::OutOfMemory;
    return Reason::None;
}

// The compatible reader, as the dialog runs it, given the head of the file.
// Its warnings need only the headers, except for alpha in 16- and 32-bit
// BMP files; explaining a refusal needs the whole file.
Reason readCompatible(FILE* stream, const std::vector<uint8_t>& head, const ReadingChoices& choices,
                      PictureLoad* load) {
    int64_t pixels = 0;
    if (compatibleSize(head.data(), head.size(), &pixels) && pixels > choices.maxPixels)
        return Reason::TooManyPixels;
    int32_t width = 0;
    int32_t height = 0;
    const long start = ftell(stream);
    uint8_t* block = loadImage(stream, &width, &height);
    (void)fseek(stream, start, SEEK_SET); // a failed seek shows as a short read below
    std::vector<uint8_t> whole;
    if (block != nullptr) {
        load->image = RgbImage{width, height, block};
        if (compatibleWarningsNeedPixels(head.data(), head.size())) {
            if (!readBytes(stream, SIZE_MAX, &whole))
                return Reason::NotRead;
            load->warnings = compatibleWarnings(whole.data(), whole.size(), choices.maxPixels);
        } else {
            load->warnings = compatibleWarnings(head.data(), head.size(), choices.maxPixels);
        }
        return Reason::None;
    }
    if (!readBytes(stream, SIZE_MAX, &whole))
        return Reason::NotRead;
    RgbaPicture picture{};
    const Reason standard = decodePicture(whole.data(), whole.size(), choices.maxPixels, &picture);
    if (standard != Reason::None)
        return standard;
    free(picture.pixels);
    return compatibleRefusal(whole.data(), whole.size());
}

} // namespace

PictureLoad readPicture(FILE* stream, const ReadingChoices& choices) {
    PictureLoad load;
    std::vector<uint8_t> bytes;
    if (!readBytes(stream, headBytes, &bytes)) {
        load.failure = Reason::NotRead;
        return load;
    }
    Reason reason = Reason::None;
    if (choices.decoder == Decoder::Compatible && compatibleCandidate(bytes.data(), bytes.size())) {
        reason = readCompatible(stream, bytes, choices, &load);
    } else if (!readBytes(stream, SIZE_MAX, &bytes)) {
        reason = Reason::NotRead;
    } else {
        reason = readComposed(bytes, choices, &load);
    }
    if (reason == Reason::None) {
        reason = resizePicture(&load.image, choices);
    }
    if (reason != Reason::None) {
        free(load.image.pixels);
        load.image = RgbImage{};
        load.warnings.clear();
        load.colourConvertedFrom.clear();
        load.colour = ColourSpace{};
    }
    load.failure = reason;
    return load;
}

namespace {

// A BMP file by rows, when the compatible reader reads it and its warnings
// need only the headers.
bool startCompatibleRows(FILE* stream, const ReadingChoices& choices, RowReading* reading) {
    const std::vector<uint8_t>& head = reading->bytes;
    int64_t pixels = 0;
    if (compatibleWarningsNeedPixels(head.data(), head.size()) ||
        (compatibleSize(head.data(), head.size(), &pixels) && pixels > choices.maxPixels))
        return false;
    reading->bmp = startBmpRows(stream, &reading->width, &reading->height);
    if (reading->bmp == nullptr)
        return false;
    reading->warnings = compatibleWarnings(head.data(), head.size(), choices.maxPixels);
    return true;
}

// A JPEG or PNG by rows, when it needs no colour conversion or turn.
bool startDecodedRows(FILE* stream, const ReadingChoices& choices, RowReading* reading) {
    std::vector<uint8_t>& bytes = reading->bytes;
    if (!isGeneralFormat(bytes.data(), bytes.size()) || !readBytes(stream, SIZE_MAX, &bytes))
        return false;
    const Reason started =
        startPictureRows(bytes.data(), bytes.size(), choices.maxPixels, &reading->colour,
                         &reading->rows, &reading->width, &reading->height);
    const ColourSpace& colour = reading->colour;
    const bool convertsColours =
        choices.colourProfile == ColourProfile::Convert &&
        (!colour.iccProfile.empty() || colour.hasGamma || colour.hasChromaticities);
    return started == Reason::None && reading->rows != nullptr && !convertsColours &&
           jpegOrientation(bytes.data(), bytes.size()) == 1;
}

} // namespace

bool startRowReading(FILE* stream, const ReadingChoices& choices, RowReading* reading) {
    *reading = RowReading{};
    if (choices.resizeWidth != 0 || choices.resizeHeight != 0 ||
        !readBytes(stream, headBytes, &reading->bytes))
        return false;
    const std::vector<uint8_t>& head = reading->bytes;
    const bool started =
        choices.decoder == Decoder::Compatible && compatibleCandidate(head.data(), head.size())
            ? startCompatibleRows(stream, choices, reading)
            : startDecodedRows(stream, choices, reading);
    if (!started) {
        endPictureRows(reading->rows, nullptr);
        endBmpRows(reading->bmp);
        *reading = RowReading{};
    }
    return started;
}

Reason readNextRows(RowReading* reading, int32_t count, uint8_t* pixels) {
    if (reading->failure != Reason::None)
        return reading->failure;
    if (reading->bmp != nullptr)
        reading->failure =
            readBmpRows(reading->bmp, count, pixels) ? Reason::None : Reason::NotRead;
    else
        reading->failure = readPictureRows(reading->rows, count, pixels);
    reading->rowsRead += count;
    return reading->failure;
}

Reason readRemainingRows(RowReading* reading) {
    constexpr int32_t band = 16;
    if (reading->failure != Reason::None || reading->rowsRead >= reading->height)
        return reading->failure;
    auto* rows =
        static_cast<uint8_t*>(malloc(size_t{3} * static_cast<size_t>(reading->width) * band));
    if (rows == nullptr)
        return reading->failure = Reason::OutOfMemory;
    while (reading->failure == Reason::None && reading->rowsRead < reading->height)
        readNextRows(reading, band, rows);
    free(rows);
    return reading->failure;
}

PictureLoad endRowReading(RowReading* reading) {
    PictureLoad load;
    load.warnings = reading->warnings;
    endPictureRows(reading->rows, &load.warnings);
    endBmpRows(reading->bmp);
    load.failure = reading->failure;
    if (load.failure != Reason::None)
        load.warnings.clear();
    *reading = RowReading{};
    return load;
}
