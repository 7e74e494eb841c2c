// Opening an output file the way "wb" does (created, or truncated), except
// that a named pipe without a reader is refused at once instead of blocking
// the program, and the caller learns whether the target is a regular file:
// only such a file may be removed when a write fails part way.
#pragma once

#include <cstdio>

// The stream, or null with errno set. *regular tells whether the target is a
// regular file.
FILE* openTargetFile(const char* path, bool* regular);
