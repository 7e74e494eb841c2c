// String routines on the standard heap. Whoever receives a block owns it and
// releases it with freeString. When memory runs out the program cannot go on
// safely: both allocating routines then call the out-of-memory handler, which
// reports the fact and ends the process; they never return null.
#pragma once

#include <cstddef>

// A new block of n + 1 bytes, contents undefined.
char* allocString(size_t n);
// A new block holding a copy of text, terminator included.
char* dupString(const char* text);
void freeString(char* text);

// Called with a short description when a string block cannot be had; it must
// not return. The default writes to standard error and exits with status 3;
// the Windows program installs one that shows a message box first.
using OutOfMemoryHandler = void (*)(const char* what);
void setOutOfMemoryHandler(OutOfMemoryHandler handler);
