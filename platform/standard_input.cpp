#include "platform/standard_input.h"

#include <cerrno>

#ifdef _WIN32
#include "platform/windows_error.h"

#include <fcntl.h>
#include <io.h>
#endif

namespace {

#ifdef _WIN32

// The C library's tmpfile() creates its file in the root of the system
// drive, which ordinary users may not write to; the user's temporary folder
// is the place, with the file deleted on close.
FILE* openScratchFile() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"hvx", 0, name) == 0) {
        errno = errnoOfLastError();
        return nullptr;
    }
    const int fd = _wopen(name, _O_RDWR | _O_BINARY | _O_TRUNC | _O_TEMPORARY | _O_SHORT_LIVED);
    if (fd < 0) {
        const int code = errno;
        (void)DeleteFileW(name); // GetTempFileNameW created it; nothing else has it
        errno = code;
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "w+b");
    if (stream == nullptr)
        (void)_close(fd); // _O_TEMPORARY removes the file with its last handle
    return stream;
}

#else

FILE* openScratchFile() {
    return tmpfile();
}

#endif

} // namespace

FILE* openStandardInputCopy() {
#ifdef _WIN32
    (void)_setmode(_fileno(stdin), _O_BINARY);
#endif
    FILE* copy = openScratchFile();
    if (copy == nullptr)
        return nullptr;
    char buffer[1 << 16];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        if (fwrite(buffer, 1, got, copy) != got) {
            (void)fclose(copy); // a scratch copy: nothing to keep
            return nullptr;
        }
    }
    if (ferror(stdin) != 0 || fflush(copy) != 0) {
        const int error = errno;
        (void)fclose(copy);
        errno = error;
        return nullptr;
    }
    rewind(copy);
    return copy;
}
