// File names as the operating system spells them: what separates folders,
// and whether letter case tells two names apart.
#pragma once

#include <filesystem>
#include <string>

// '/', and on Windows also '\\' and the ':' after a drive letter.
bool isPathSeparator(char c);

// The name with its letters in one case where the file system ignores case
// (Windows), unchanged elsewhere: two names that reach one place compare
// equal.
std::string foldPathCase(const std::string& path);

// The name as std::filesystem takes it. On Windows a path made from a
// std::string would read it in the ANSI code page; this one reads the
// program's own names, and in the long form where they need it.
std::filesystem::path fileSystemPath(const std::string& name);

// A std::filesystem path back in the program's own spelling.
std::string nameOfFileSystemPath(const std::filesystem::path& path);
