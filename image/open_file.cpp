#include "image/image.h"

#include <cerrno>
#include <sys/stat.h>

FILE* openImageFile(const char* path) {
    FILE* stream = fopen(path, "rb");
    if (stream == nullptr)
        return nullptr;
    struct stat info {};
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) {
        fclose(stream);
        errno = S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
        return nullptr;
    }
    return stream;
}
