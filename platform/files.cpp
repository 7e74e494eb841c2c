#include "platform/files.h"

#include <cerrno>
#include <sys/stat.h>

#ifdef _WIN32
#include "platform/wide_names.h"

#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// errno for a file that is there but is not a regular file.
int notRegularError(const struct stat& info) {
    return S_ISDIR(info.st_mode) ? EISDIR : ENODEV;
}

} // namespace

#ifdef _WIN32

FILE* openRegularFile(const char* path) {
    FILE* stream = _wfopen(widePath(path).c_str(), L"rb");
    if (stream == nullptr)
        return nullptr;
    struct stat info {};
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) {
        (void)fclose(stream); // opened for reading only: nothing to lose
        errno = notRegularError(info);
        return nullptr;
    }
    return stream;
}

#else

// Opened without blocking, so that a named pipe without a writer or a
// device waiting for a carrier is refused at once instead of hanging the
// caller; the descriptor is made blocking again once it is known to be a
// regular file.
FILE* openRegularFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        errno = notRegularError(info);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        close(fd);
        return nullptr;
    }
    FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr)
        close(fd);
    return stream;
}

#endif

int64_t streamSize(FILE* stream) {
#ifdef _WIN32
    struct _stat64 info {};
    if (_fstat64(_fileno(stream), &info) != 0)
        return -1;
#else
    struct stat info {};
    if (fstat(fileno(stream), &info) != 0)
        return -1;
#endif
    return static_cast<int64_t>(info.st_size);
}

bool isTerminal(FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}
