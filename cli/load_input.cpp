#include "cli/commands.h"

#include <cstring>

const char* loadImageFile(const std::string& path, RgbImage* image) {
    FILE* stream = openImageFile(path.c_str());
    if (stream == nullptr)
        return "Error opening file";
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = loadImage(stream, &width, &height);
    fclose(stream);
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
