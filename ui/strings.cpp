#include "ui/strings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void reportAndExit(const char* what) {
    fprintf(stderr, "halvex: out of memory (%s)\n", what);
    exit(3);
}

OutOfMemoryHandler outOfMemory = reportAndExit;

[[noreturn]] void outOfMemoryFor(const char* what) {
    outOfMemory(what);
    abort(); // a handler that returns would leave the caller with a null block
}

} // namespace

void setOutOfMemoryHandler(OutOfMemoryHandler handler) {
    outOfMemory = handler != nullptr ? handler : reportAndExit;
}

char* allocString(size_t n) {
    char* block = n < SIZE_MAX ? static_cast<char*>(malloc(n + 1)) : nullptr;
    if (block == nullptr)
        outOfMemoryFor("string block");
    return block;
}

char* dupString(const char* text) {
    const size_t length = strlen(text);
    char* copy = allocString(length);
    memcpy(copy, text, length + 1);
    return copy;
}

void freeString(char* text) {
    free(text);
}
