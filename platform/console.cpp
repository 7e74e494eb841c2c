#include "platform/console.h"

#include <algorithm>
#include <cstdarg>
#include <string>

#ifdef _WIN32
#include "platform/wide_names.h"

#include <io.h>
#include <windows.h>
#endif

namespace {

std::string formatText(const char* format, va_list arguments) {
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    (void)vsnprintf(text.data(), text.size(), format, arguments);
    text.pop_back();
    return text;
}

#ifdef _WIN32

// The console behind a stream, or null when the stream goes to a file or a
// pipe.
HANDLE consoleOf(FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0)
        return nullptr;
    return handle;
}

bool writeToConsole(HANDLE console, const std::string& text) {
    const std::wstring wide = wideName(text);
    size_t done = 0;
    while (done < wide.size()) {
        // Consoles of old Windows versions refuse long writes.
        size_t piece = std::min<size_t>(wide.size() - done, 8192);
        if (piece < wide.size() - done && IS_HIGH_SURROGATE(wide[done + piece - 1]))
            --piece; // a pair is written whole
        DWORD written = 0;
        if (WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(piece), &written,
                          nullptr) == 0 ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

bool writeText(FILE* stream, const std::string& text) {
    HANDLE console = consoleOf(stream);
    if (console == nullptr)
        return fwrite(text.data(), 1, text.size(), stream) == text.size();
    (void)fflush(stream); // what was printed before comes first
    return writeToConsole(console, text);
}

#else

bool writeText(FILE* stream, const std::string& text) {
    return fwrite(text.data(), 1, text.size(), stream) == text.size();
}

#endif

} // namespace

// C-style on purpose: the compiler checks each format against its arguments.
int printText(FILE* stream, const char* format, ...) { // NOLINT(cert-dcl50-cpp)
    va_list arguments;
    va_start(arguments, format);
    const std::string text = formatText(format, arguments);
    va_end(arguments);
    if (!writeText(stream, text))
        return -1;
    return static_cast<int>(text.size());
}
