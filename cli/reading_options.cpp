#include "cli/reading_options.h"
#include "cli/option_words.h"
#include "platform/console.h"

#include "platform/files.h"
#include "platform/standard_input.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

FILE* openInput(const std::string& path) {
    return path == "-" ? openStandardInputCopy() : openRegularFile(path.c_str());
}

} // namespace

InputLoad loadInputFile(const std::string& path, const ReadingChoices& reading) {
    InputLoad load;
    FILE* stream = openInput(path);
    if (stream == nullptr) {
        load.failure = std::string("Error opening file: ") + strerror(errno);
        return load;
    }
    const PictureLoad picture = readPicture(stream, reading);
    (void)fclose(stream); // a stream that was only read from
    for (const Reason warning : picture.warnings)
        load.warnings.push_back(describeReason(warning));
    if (picture.failure != Reason::None)
        load.failure = describeReason(picture.failure);
    else
        load.image = picture.image;
    load.colourConvertedFrom = picture.colourConvertedFrom;
    return load;
}

bool startInputRows(const std::string& path, const ReadingChoices& reading, RowReading* rows,
                    FILE** input) {
    *input = path == "-" ? nullptr : openRegularFile(path.c_str());
    if (*input == nullptr)
        return false;
    if (startRowReading(*input, reading, rows))
        return true;
    (void)fclose(*input); // a stream that was only read from
    *input = nullptr;
    return false;
}

bool finishInputRows(const std::string& path, RowReading* rows) {
    const PictureLoad picture = endRowReading(rows);
    InputLoad load;
    for (const Reason warning : picture.warnings)
        load.warnings.push_back(describeReason(warning));
    if (picture.failure != Reason::None)
        load.failure = describeReason(picture.failure);
    return reportInputLoad(path, load);
}

bool reportInputLoad(const std::string& path, const InputLoad& load) {
    for (const std::string& warning : load.warnings)
        printText(stderr, "%s: %s\n", path.c_str(), warning.c_str());
    if (!load.failure.empty()) {
        printText(stderr, "%s: %s\n", path.c_str(), load.failure.c_str());
        return false;
    }
    return true;
}

bool loadInputImage(const std::string& path, const ReadingChoices& reading, RgbImage* image) {
    const InputLoad load = loadInputFile(path, reading);
    if (!reportInputLoad(path, load))
        return false;
    *image = load.image;
    return true;
}

namespace {

constexpr int32_t largestSide = 1000000;

uint32_t parseColour(const std::string& value) {
    const std::string digits = !value.empty() && value[0] == '#' ? value.substr(1) : value;
    if (digits.size() != 6 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw CLI::ValidationError("--background", value + " is not a colour RRGGBB or #RRGGBB");
    return static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
}

// One side of WxH: empty (left out) or 1 to largestSide.
int32_t parseSide(const std::string& text, const std::string& whole) {
    if (text.empty())
        return 0;
    if (text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stol(text) < 1 || std::stol(text) > largestSide)
        throw CLI::ValidationError("--resize", whole + " is not WxH, Wx or xH with sides of 1 to " +
                                                   std::to_string(largestSide));
    return static_cast<int32_t>(std::stol(text));
}

void parseResize(const std::string& value, ReadingChoices* choices) {
    const size_t cross = value.find('x');
    if (cross == std::string::npos || value.size() == 1)
        throw CLI::ValidationError("--resize", value + " is not WxH, Wx or xH");
    choices->resizeWidth = parseSide(value.substr(0, cross), value);
    choices->resizeHeight = parseSide(value.substr(cross + 1), value);
}

int64_t parseMaxPixels(const std::string& value) {
    if (value.empty() || value.size() > 12 ||
        value.find_first_not_of("0123456789") != std::string::npos || std::stoll(value) < 1)
        throw CLI::ValidationError("--max-pixels", value + " is not a whole number of pixels");
    return std::stoll(value);
}

} // namespace

void addReadingOptions(CLI::App* command, ReadingChoices& reading) {
    ReadingChoices* choices = &reading;
    addWordOption<Decoder>(command, "--decoder", choices->decoder,
                           {{"compatible", Decoder::Compatible}, {"standard", Decoder::Standard}},
                           "compatible|standard",
                           "how BMP and TGA files are read: compatible (the default) as the "
                           "Windows program reads them, standard as image viewers do");
    addParsedOption(
        command, "--background",
        [choices](const std::string& v) { choices->background = parseColour(v); }, "RRGGBB",
        "colour under transparent pixels and around a contained picture; default 000000");
    addParsedOption(
        command, "--resize", [choices](const std::string& v) { parseResize(v, choices); }, "WxH",
        "scale to W x H pixels before converting; Wx or xH keeps the aspect ratio");
    addWordOption<Fit>(
        command, "--fit", choices->fit,
        {{"contain", Fit::Contain}, {"cover", Fit::Cover}, {"stretch", Fit::Stretch}},
        "contain|cover|stretch",
        "how --resize WxH meets another aspect ratio:\n"
        "  contain  the whole picture, centred on the background (default)\n"
        "  cover    fills the frame, the overflow cropped\n"
        "  stretch  ignores the aspect ratio");
    addWordOption<ResizeFilter>(command, "--filter", choices->filter,
                                {{"mitchell", ResizeFilter::Mitchell},
                                 {"catmull-rom", ResizeFilter::CatmullRom},
                                 {"triangle", ResizeFilter::Triangle},
                                 {"box", ResizeFilter::Box},
                                 {"nearest", ResizeFilter::Nearest}},
                                "NAME",
                                "resampling filter: mitchell, catmull-rom, triangle, box or "
                                "nearest (pixel art); default mitchell when shrinking, "
                                "catmull-rom when enlarging");
    addParsedOption(
        command, "--max-pixels",
        [choices](const std::string& v) { choices->maxPixels = parseMaxPixels(v); }, "N",
        "largest picture read, in pixels; default 100000000");
    addWordOption<ColourProfile>(
        command, "--colour-profile", choices->colourProfile,
        {{"convert", ColourProfile::Convert}, {"ignore", ColourProfile::Ignore}}, "convert|ignore",
        "a picture's embedded colour profile (or PNG gAMA/cHRM): convert (the default) turns "
        "its colours into sRGB, ignore takes the stored values as sRGB");
}

int withInputImage(const std::string& path, const ReadingChoices& reading,
                   const std::function<int(const RgbImage&)>& use) {
    RgbImage image{};
    if (!loadInputImage(path, reading, &image))
        return 1;
    const int status = use(image);
    free(image.pixels);
    return status;
}
