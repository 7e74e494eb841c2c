#include "cli/commands.h"

#include <cstring>
#include <filesystem>

const char* loadImageFile(const std::string& path, RgbImage* image) {
    FILE* stream = openImageFile(path.c_str());
    if (stream == nullptr)
        return "Error opening file";
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = loadImage(stream, &width, &height);
    (void)fclose(stream); // a stream that was only read from
    if (pixels == nullptr)
        return "Error reading file (not BMP?)";
    *image = RgbImage{width, height, pixels};
    return nullptr;
}

bool loadInputImage(const std::string& path, RgbImage* image) {
    const char* message = loadImageFile(path, image);
    if (message != nullptr)
        fprintf(stderr, "%s\n", message);
    return message == nullptr;
}

std::string writeErrorMessage(const std::string& path, int systemError) {
    return "Error writing " + path + ": " + strerror(systemError);
}

void reportWriteError(const std::string& path, int systemError) {
    fprintf(stderr, "%s\n", writeErrorMessage(path, systemError).c_str());
}

bool refuseToOverwriteInput(const std::string& input, const std::string& output) {
    std::error_code unknown;
    if (!std::filesystem::equivalent(input, output, unknown))
        return false;
    fprintf(stderr, "Error writing %s: it is the input file\n", output.c_str());
    return true;
}
