#include "platform/output_file.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the stop flag is set from signal handlers");
std::atomic<int> stopRequested{0};

// Numbers the temporary files of this process.
std::atomic<unsigned> temporaryCount{0};

int32_t fail(int* systemError, int code) {
    if (systemError != nullptr)
        *systemError = code != 0 ? code : EIO;
    return -1;
}

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

// The folder part of path with its separator ("" for a bare name).
std::string folderOf(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !isSeparator(path[end - 1]))
        --end;
    return path.substr(0, end);
}

#ifdef _WIN32

int errnoOfLastError() {
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    default:
        return EIO;
    }
}

int processNumber() {
    return _getpid();
}

int moveOver(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0
                                                                            : errnoOfLastError();
}

int linkAs(const std::string& existing, const std::string& name) {
    return CreateHardLinkA(name.c_str(), existing.c_str(), nullptr) ? 0 : errnoOfLastError();
}

// Windows has no links to follow here.
std::string followLinks(const std::string& path, int* code) {
    *code = 0;
    return path;
}

struct TargetState {
    bool exists;
    bool regular;
    bool folder;
    int mode;
};

// Devices (NUL, CON) and named pipes are no files on a disk, whatever
// _stat64 makes of them.
bool isDeviceOrPipe(const std::string& path) {
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(handle);
    (void)CloseHandle(handle); // only looked at
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

int targetState(const std::string& path, TargetState* state) {
    *state = TargetState{false, false, false, 0};
    if (isDeviceOrPipe(path)) {
        state->exists = true;
        return 0;
    }
    struct _stat64 info {};
    if (_stat64(path.c_str(), &info) != 0)
        return errno == ENOENT ? 0 : errno;
    state->exists = true;
    state->regular = (info.st_mode & _S_IFMT) == _S_IFREG;
    state->folder = (info.st_mode & _S_IFMT) == _S_IFDIR;
    state->mode = info.st_mode & (_S_IREAD | _S_IWRITE);
    return 0;
}

int writableCheck(const std::string& path) {
    return _access(path.c_str(), 2) == 0 ? 0 : errno;
}

int createExclusive(const std::string& path, const TargetState& /*state*/) {
    return _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
}

FILE* openInPlace(const char* path) {
    return fopen(path, "wb");
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

// The file a chain of symbolic links ends at (which need not exist yet).
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

struct TargetState {
    bool exists;
    bool regular;
    bool folder;
    mode_t mode;
    uid_t owner;
    gid_t group;
};

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

#endif

void keepError(OutputFile* file, int code) {
    if (file->error == 0)
        file->error = code != 0 ? code : EIO;
}

// A name beside the target that no other file has: hidden, and short
// enough for any file system whatever the target's name.
int openTemporary(OutputFile* file, const TargetState& state) {
    const std::string folder = folderOf(file->target);
    std::string base = file->target.substr(folder.size());
    if (base.size() > 64)
        base.resize(64);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder;
        name += ".";
        name += base;
        name += "." + std::to_string(processNumber());
        name += "-" + std::to_string(temporaryCount.fetch_add(1));
        name += ".tmp";
        const int fd = createExclusive(name, state);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return errno;
#ifdef _WIN32
        file->stream = _fdopen(fd, "wb");
#else
        file->stream = fdopen(fd, "wb");
#endif
        if (file->stream == nullptr) {
            const int code = errno;
            (void)close(fd);
            (void)remove(name.c_str());
            return code;
        }
        file->temporary = name;
        return 0;
    }
    return EEXIST;
}

int openTarget(OutputFile* file, const char* path) {
    if (std::string(path) == standardOutputName) {
        file->standardOutput = true;
        file->stream = standardOutputStream();
        return 0;
    }
    // Devices, pipes and the like are written through the name given, which
    // may be a link that only the system can follow (/dev/stdout).
    TargetState state{};
    int code = targetState(path, &state);
    if (code != 0)
        return code;
    if (state.folder)
        return EISDIR;
    if (state.exists && !state.regular) {
        file->target = path;
        file->stream = openInPlace(path);
        return file->stream != nullptr ? 0 : errno;
    }
    file->target = followLinks(path, &code);
    if (code != 0)
        return code;
    if (state.exists && (code = targetState(file->target, &state)) == 0 && !state.exists)
        code = ENOENT; // a link that does not lead to the file itself
    if (code != 0)
        return code;
    // Renaming ignores the target's own permissions; a read-only target is
    // refused as opening it for writing would be.
    if (state.exists && (code = writableCheck(file->target)) != 0)
        return code;
    file->replacesFile = state.exists;
    return openTemporary(file, state);
}

// Flushes and, for a temporary file, closes. 0 or the error.
int finishWriting(OutputFile* file) {
    if (file->stream == nullptr)
        return file->error != 0 ? file->error : EIO;
    int code = file->error;
    if (file->standardOutput || file->temporary.empty()) {
        if (fflush(file->stream) != 0 && code == 0)
            code = errno;
        if (file->standardOutput) {
            if (code == 0 && ferror(file->stream))
                code = EIO;
            file->stream = nullptr;
            return code;
        }
    }
    if (fclose(file->stream) != 0 && code == 0)
        code = errno;
    file->stream = nullptr;
    if (code == 0 && outputStopRequested())
        code = EINTR;
    return code;
}

void removeTemporary(OutputFile* file) {
    if (!file->temporary.empty())
        (void)remove(file->temporary.c_str()); // the run fails either way; this only tidies up
    file->temporary.clear();
}

// Moves the finished temporary file over the target. 0 or the error.
int putInPlace(OutputFile* file) {
    if (file->temporary.empty())
        return 0;
    const int code = moveOver(file->temporary, file->target);
    if (code != 0)
        removeTemporary(file);
    file->temporary.clear();
    return code;
}

// The target as it was, kept under a second name while a pair is
// committed, so that it can be put back if the second file fails. 0, with
// *backup empty when there is no previous target, or the error.
int keepPreviousTarget(const OutputFile& file, std::string* backup, bool* linked) {
    backup->clear();
    if (file.temporary.empty() || !file.replacesFile)
        return 0;
    const std::string name = file.temporary + ".old";
    int code = linkAs(file.target, name);
    *linked = code == 0;
    // Without hard links the old file moves aside; the target is then
    // missing until the new one arrives a moment later.
    if (code != 0)
        code = moveOver(file.target, name);
    if (code == 0)
        *backup = name;
    return code;
}

// Undoes the commit of a pair's first file.
void restorePreviousTarget(const OutputFile& file, const std::string& backup) {
    if (!backup.empty())
        (void)moveOver(backup, file.target); // best effort: the failure is reported already
    else
        (void)remove(file.target.c_str()); // the new file had no predecessor
}

} // namespace

int32_t openOutputFile(OutputFile* file, const char* path) {
    *file = OutputFile{};
    const int code = openTarget(file, path);
    if (code == 0)
        return 0;
    file->stream = nullptr;
    file->error = code;
    return -1;
}

void writeOutputBytes(OutputFile* file, const void* bytes, size_t count) {
    if (file->error != 0 || file->stream == nullptr || count == 0)
        return;
    if (outputStopRequested()) {
        keepError(file, EINTR);
        return;
    }
    if (fwrite(bytes, 1, count, file->stream) != count)
        keepError(file, errno);
}

void failOutputFile(OutputFile* file, int systemError) {
    keepError(file, systemError);
}

int32_t commitOutputFile(OutputFile* file, int* systemError) {
    int code = finishWriting(file);
    if (code == 0)
        code = putInPlace(file);
    if (code == 0)
        return 0;
    removeTemporary(file);
    return fail(systemError, code);
}

void abandonOutputFile(OutputFile* file) {
    if (file->stream != nullptr && !file->standardOutput)
        (void)fclose(file->stream); // what it holds is thrown away
    file->stream = nullptr;
    removeTemporary(file);
}

int32_t commitOutputFiles(OutputFile* first, OutputFile* second, int* failedFile,
                          int* systemError) {
    OutputFile* files[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const int code = finishWriting(files[i]);
        if (code != 0) {
            abandonOutputFile(first);
            abandonOutputFile(second);
            *failedFile = i;
            return fail(systemError, code);
        }
    }
    std::string backup;
    bool linked = false;
    if (const int code = keepPreviousTarget(*first, &backup, &linked); code != 0) {
        abandonOutputFile(first);
        abandonOutputFile(second);
        *failedFile = 0;
        return fail(systemError, code);
    }
    const bool renamed = !first->temporary.empty();
    int code = putInPlace(first);
    if (code != 0) {
        // The target itself is untouched; a link to it goes, a file moved aside comes back.
        if (linked)
            (void)remove(backup.c_str());
        else if (!backup.empty())
            (void)moveOver(backup, first->target);
        abandonOutputFile(second);
        *failedFile = 0;
        return fail(systemError, code);
    }
    code = putInPlace(second);
    if (code != 0) {
        if (renamed)
            restorePreviousTarget(*first, backup);
        *failedFile = 1;
        return fail(systemError, code);
    }
    if (!backup.empty())
        (void)remove(backup.c_str()); // the old content is no longer needed
    return 0;
}

int32_t writeOutputFile(const char* path, const uint8_t* bytes, size_t count, int* systemError) {
    OutputFile file;
    if (openOutputFile(&file, path) < 0)
        return fail(systemError, file.error);
    writeOutputBytes(&file, bytes, count);
    return commitOutputFile(&file, systemError);
}

#ifdef _WIN32

// The C library's tmpfile() creates its file in the root of the system
// drive, which ordinary users may not write to; the user's temporary folder
// is the place, with the file deleted on close.
FILE* openScratchFile() {
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameA(folder, "hvx", 0, name) == 0) {
        errno = errnoOfLastError();
        return nullptr;
    }
    const int fd = _open(name, _O_RDWR | _O_BINARY | _O_TRUNC | _O_TEMPORARY | _O_SHORT_LIVED);
    if (fd < 0) {
        const int code = errno;
        (void)DeleteFileA(name); // GetTempFileNameA created it; nothing else has it
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

void requestOutputStop() {
    stopRequested.store(1, std::memory_order_relaxed);
}

bool outputStopRequested() {
    return stopRequested.load(std::memory_order_relaxed) != 0;
}

#ifdef _WIN32

bool fileIdentity(const char* path, FileIdentity* identity) {
    const HANDLE handle =
        CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(handle, &information) != 0;
    (void)CloseHandle(handle); // only looked at
    if (known)
        *identity =
            FileIdentity{information.dwVolumeSerialNumber,
                         (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
    return known;
}

#else

bool fileIdentity(const char* path, FileIdentity* identity) {
    struct stat info {};
    if (stat(path, &info) != 0)
        return false;
    *identity =
        FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return true;
}

#endif
