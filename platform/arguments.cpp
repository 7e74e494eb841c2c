#include "platform/arguments.h"

#ifdef _WIN32
#include "platform/wide_names.h"

#include <windows.h>

#include <shellapi.h> // after windows.h, which it needs
#endif

#ifdef _WIN32

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    takeNamesAsUtf8();
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr || count != argc) {
        if (wide != nullptr)
            (void)LocalFree(wide); // the narrow ones serve instead
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(narrowName(wide[i]));
    (void)LocalFree(wide); // copied
    return arguments;
}

#else

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

#endif
