#include "platform/output_system.h"

#include "platform/path_names.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include "platform/wide_names.h"
#include "platform/windows_error.h"

#include <io.h>
#include <process.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace outputSystem {

std::string folderOf(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !isPathSeparator(path[end - 1]))
        --end;
    return path.substr(0, end);
}

#ifdef _WIN32

int processNumber() {
    return _getpid();
}

int moveOver(const std::string& from, const std::string& to) {
    return MoveFileExW(widePath(from).c_str(), widePath(to).c_str(), MOVEFILE_REPLACE_EXISTING)
               ? 0
               : errnoOfLastError();
}

int linkAs(const std::string& existing, const std::string& name) {
    return CreateHardLinkW(widePath(name).c_str(), widePath(existing).c_str(), nullptr)
               ? 0
               : errnoOfLastError();
}

// Windows has no links to follow here.
std::string followLinks(const std::string& path, int* code) {
    *code = 0;
    return path;
}

namespace {

// Devices (NUL, CON) and named pipes are no files on a disk, whatever
// _stat64 makes of them.
bool isDeviceOrPipe(const std::string& path) {
    const HANDLE handle = CreateFileW(widePath(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(handle);
    (void)CloseHandle(handle); // only looked at
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

int createExclusive(const std::string& path, const TargetState& /*state*/) {
    return _wopen(widePath(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                  _S_IREAD | _S_IWRITE);
}

FILE* streamOfDescriptor(int fd) {
    return _fdopen(fd, "wb");
}

} // namespace

int targetState(const std::string& path, TargetState* state) {
    *state = TargetState{false, false, false, 0};
    if (isDeviceOrPipe(path)) {
        state->exists = true;
        return 0;
    }
    struct _stat64 info {};
    if (_wstat64(widePath(path).c_str(), &info) != 0)
        return errno == ENOENT ? 0 : errno;
    state->exists = true;
    state->regular = (info.st_mode & _S_IFMT) == _S_IFREG;
    state->folder = (info.st_mode & _S_IFMT) == _S_IFDIR;
    state->mode = info.st_mode & (_S_IREAD | _S_IWRITE);
    return 0;
}

int writableCheck(const std::string& path) {
    return _waccess(widePath(path).c_str(), 2) == 0 ? 0 : errno;
}

FILE* openInPlace(const char* path) {
    return _wfopen(widePath(path).c_str(), L"wb");
}

int removeFile(const std::string& path) {
    return _wremove(widePath(path).c_str()) == 0 ? 0 : errno;
}

FILE* standardOutputStream() {
    (void)_setmode(_fileno(stdout), _O_BINARY); // already binary when it fails
    return stdout;
}

#else

int processNumber() {
    return static_cast<int>(getpid());
}

int moveOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int linkAs(const std::string& existing, const std::string& name) {
    return link(existing.c_str(), name.c_str()) == 0 ? 0 : errno;
}

std::string followLinks(const std::string& path, int* code) {
    *code = 0;
    std::string current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return current;
        char buffer[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), buffer, sizeof buffer - 1);
        if (length < 0) {
            *code = errno;
            return current;
        }
        std::string next = buffer[0] == '/' ? std::string() : folderOf(current);
        next.append(buffer, static_cast<size_t>(length));
        current = next;
    }
    *code = ELOOP;
    return current;
}

int targetState(const std::string& path, TargetState* state) {
    *state = TargetState{false, false, false, 0, 0, 0};
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? 0 : errno;
    *state = TargetState{
        true,       S_ISREG(info.st_mode), S_ISDIR(info.st_mode), info.st_mode & 07777, info.st_uid,
        info.st_gid};
    return 0;
}

int writableCheck(const std::string& path) {
    return access(path.c_str(), W_OK) == 0 ? 0 : errno;
}

namespace {

// A new file gets the usual 0666 less the umask; a replacement gets the
// permission bits and, where allowed, the owner of the file it replaces.
int createExclusive(const std::string& path, const TargetState& state) {
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0 && state.exists) {
        (void)fchown(fd, state.owner, state.group); // only root may give files away
        if (fchmod(fd, state.mode) != 0) {
            const int code = errno;
            (void)close(fd);
            (void)unlink(path.c_str());
            errno = code;
            return -1;
        }
    }
    return fd;
}

FILE* streamOfDescriptor(int fd) {
    return fdopen(fd, "wb");
}

} // namespace

// Opening in place the way "wb" does, except that a named pipe without a
// reader is refused at once (ENXIO) instead of blocking the program.
FILE* openInPlace(const char* path) {
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    FILE* stream = nullptr;
    if (flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        const int code = errno;
        (void)close(fd); // nothing was written through it
        errno = code;
    }
    return stream;
}

FILE* standardOutputStream() {
    return stdout;
}

int removeFile(const std::string& path) {
    return remove(path.c_str()) == 0 ? 0 : errno;
}

#endif

int createExclusiveStream(const std::string& path, const TargetState& state, FILE** stream) {
    const int fd = createExclusive(path, state);
    if (fd < 0)
        return errno;
    *stream = streamOfDescriptor(fd);
    if (*stream == nullptr) {
        const int code = errno;
        (void)close(fd);
        (void)removeFile(path); // never written to
        return code;
    }
    return 0;
}

} // namespace outputSystem
