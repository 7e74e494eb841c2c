#include "platform/path_names.h"

#include <cctype>

bool isPathSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

std::string foldPathCase(const std::string& path) {
    std::string key = path;
#ifdef _WIN32
    for (char& c : key)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
#endif
    return key;
}
