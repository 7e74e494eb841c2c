// Files as the operating system has them: opening one for reading, its size,
// whether a stream is a terminal.
#pragma once

#include <cstdint>
#include <cstdio>

// Opens path for reading ("rb") when it names a regular file; null (with
// errno set) otherwise, so that a folder, a device or a pipe is refused up
// front rather than read (or waited on) as a picture.
FILE* openRegularFile(const char* path);

// The size in bytes of the file under stream, whatever the stream's
// position; -1 when the system cannot say.
int64_t streamSize(FILE* stream);

// True when stream is an interactive terminal (or console).
bool isTerminal(FILE* stream);
