#include "cli/commands.h"

#include <cstring>

bool loadInputImage(const std::string& path, RgbImage* image) {
    FILE* stream = openImageFile(path.c_str());
    if (stream == nullptr) {
        fprintf(stderr, "Error opening file\n");
        return false;
    }
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = loadImage(stream, &width, &height);
    fclose(stream);
    if (pixels == nullptr) {
        fprintf(stderr, "Error reading file (not BMP?)\n");
        return false;
    }
    *image = RgbImage{width, height, pixels};
    return true;
}

void reportWriteError(const std::string& path, int systemError) {
    fprintf(stderr, "Error writing %s: %s\n", path.c_str(), strerror(systemError));
}
