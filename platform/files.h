// Files as the operating system has them: opening one for reading.
#pragma once

#include <cstdio>

// Opens path for reading ("rb") when it names a regular file; null (with
// errno set) otherwise, so that a folder, a device or a pipe is refused up
// front rather than read (or waited on) as a picture.
FILE* openRegularFile(const char* path);
