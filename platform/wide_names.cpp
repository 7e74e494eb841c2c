#include "platform/wide_names.h"

#ifdef _WIN32
#include <atomic>
#include <windows.h>

namespace {

std::atomic<UINT> namesCodePage{CP_ACP};

// Folders are refused a little before MAX_PATH (room is kept for a short
// 8.3 name), so the long form starts there.
constexpr size_t longPathStart = 248;

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

} // namespace

void takeNamesAsUtf8() {
    namesCodePage = CP_UTF8;
}

std::wstring wideName(const std::string& name) {
    const int size = static_cast<int>(name.size());
    const int length = MultiByteToWideChar(namesCodePage, 0, name.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (length > 0)
        (void)MultiByteToWideChar(namesCodePage, 0, name.data(), size, &wide[0], length);
    return wide;
}

// The \\?\ form is taken as it stands: no '/' as separator, no "." or "..",
// no relative names. GetFullPathNameW settles all three first.
std::wstring widePath(const std::string& name) {
    const std::wstring wide = wideName(name);
    if (wide.size() < longPathStart || startsWith(wide, L"\\\\?\\") || startsWith(wide, L"\\\\.\\"))
        return wide;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed)
        return wide;
    full.resize(length);
    if (startsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string narrowName(const std::wstring& name) {
    const int size = static_cast<int>(name.size());
    const int length =
        WideCharToMultiByte(namesCodePage, 0, name.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    if (length > 0)
        (void)WideCharToMultiByte(namesCodePage, 0, name.data(), size, &narrow[0], length, nullptr,
                                  nullptr);
    return narrow;
}

#endif
