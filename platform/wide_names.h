// Inside platform/ only: file names on Windows. Names travel through the
// program as narrow strings (UTF-8 in the command line program, the ANSI
// code page in the dialog) and reach the system through its wide
// functions, so that any name the file system allows can be opened.
#pragma once

#ifdef _WIN32
#include <string>

// From now on narrow file names are UTF-8 rather than the ANSI code page.
void takeNamesAsUtf8();

// A narrow name as the system's wide functions take it.
std::wstring wideName(const std::string& name);

// The same, made absolute and given the \\?\ form when it is long enough
// to meet the system's old limit of MAX_PATH characters.
std::wstring widePath(const std::string& name);

// A wide name back in the narrow form the program uses.
std::string narrowName(const std::wstring& name);
#endif
