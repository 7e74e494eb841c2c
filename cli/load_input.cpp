#include "cli/input_options.h"

void addInputOptions(CLI::App* /*command*/, InputOptions& /*options*/) {}

InputLoad loadInputFile(const std::string& path, const InputOptions& /*options*/) {
    InputLoad load;
    FILE* stream = openImageFile(path.c_str());
    if (stream == nullptr) {
        load.failure = "Error opening file";
        return load;
    }
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = loadImage(stream, &width, &height);
    (void)fclose(stream); // a stream that was only read from
    if (pixels == nullptr)
        load.failure = "Error reading file (not BMP?)";
    else
        load.image = RgbImage{width, height, pixels};
    return load;
}

bool loadInputImage(const std::string& path, const InputOptions& options, RgbImage* image) {
    InputLoad load = loadInputFile(path, options);
    for (const std::string& warning : load.warnings)
        fprintf(stderr, "%s\n", warning.c_str());
    if (!load.failure.empty()) {
        fprintf(stderr, "%s\n", load.failure.c_str());
        return false;
    }
    *image = load.image;
    return true;
}
