// File names as the operating system spells them: what separates folders,
// and whether letter case tells two names apart.
#pragma once

#include <string>

// '/', and on Windows also '\\' and the ':' after a drive letter.
bool isPathSeparator(char c);

// The name with its letters in one case where the file system ignores case
// (Windows), unchanged elsewhere: two names that reach one place compare
// equal.
std::string foldPathCase(const std::string& path);
