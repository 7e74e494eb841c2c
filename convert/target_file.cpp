#include "convert/target_file.h"

#include <sys/stat.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool isRegular(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

#ifdef _WIN32

FILE* openTargetFile(const char* path, bool* regular) {
    FILE* stream = fopen(path, "wb");
    *regular = stream != nullptr && isRegular(fileno(stream));
    return stream;
}

#else

FILE* openTargetFile(const char* path, bool* regular) {
    *regular = false;
    // Without O_NONBLOCK, opening a pipe that nobody reads waits forever.
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        (void)close(fd); // nothing was written through it
        return nullptr;
    }
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        (void)close(fd); // nothing was written through it
        return nullptr;
    }
    *regular = isRegular(fd);
    return stream;
}

#endif
