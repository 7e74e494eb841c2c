#include "platform/file_identity.h"

#ifdef _WIN32
#include "platform/wide_names.h"

#include <windows.h>
#else
#include <sys/stat.h>
#endif

#ifdef _WIN32

bool fileIdentity(const char* path, FileIdentity* identity) {
    const HANDLE handle = CreateFileW(widePath(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
