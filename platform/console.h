// Text for the user, printed as characters on any console. The program's
// text is UTF-8 (file names included); a Windows console takes it as UTF-16
// through its own call, whatever its code page, while a redirected stream,
// and every stream elsewhere, gets the UTF-8 bytes unchanged.
#pragma once

#include <cstdio>

#if defined(__GNUC__)
#define HALVEX_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define HALVEX_PRINTF_FORMAT(f, a)
#endif

// As fprintf; returns the count of bytes formatted, or a negative number
// when the text could not be written.
int printText(FILE* stream, const char* format, ...) HALVEX_PRINTF_FORMAT(2, 3);
