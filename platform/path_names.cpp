#include "platform/path_names.h"

#ifdef _WIN32
#include "platform/wide_names.h"

#include <windows.h>
#endif

bool isPathSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

#ifdef _WIN32

// Letters beyond ASCII (Cyrillic, Greek, accented Latin) fold too, as the
// file system folds them.
std::string foldPathCase(const std::string& path) {
    std::wstring key = wideName(path);
    if (!key.empty())
        (void)CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    return narrowName(key);
}

std::filesystem::path fileSystemPath(const std::string& name) {
    return std::filesystem::path(widePath(name));
}

std::string nameOfFileSystemPath(const std::filesystem::path& path) {
    return narrowName(path.wstring());
}

#else

std::string foldPathCase(const std::string& path) {
    return path;
}

std::filesystem::path fileSystemPath(const std::string& name) {
    return std::filesystem::path(name);
}

std::string nameOfFileSystemPath(const std::filesystem::path& path) {
    return path.string();
}

#endif
