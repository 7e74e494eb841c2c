// Shared by the harnesses: splits a fuzz input into control bytes and the
// image bytes, and opens the image bytes as a read-only memory stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct FuzzInput {
    const uint8_t* bytes; // the stream's contents
    size_t size;
    uint32_t control; // the control word, taken from the first bytes
};

// The first controlBytes bytes (little-endian, up to 4) form the control
// word; the rest is the stream. False when the input is too short.
bool splitInput(const uint8_t* data, size_t size, size_t controlBytes, FuzzInput* input);

// A read-only stream over a private, exactly sized copy of the bytes.
// Release with closeMemoryStream.
struct MemoryStream {
    FILE* stream;
    char* buffer;
};
bool openMemoryStream(const uint8_t* bytes, size_t size, MemoryStream* out);

// A stream that reports claimedSize bytes when sought from its end but
// delivers only the first deliveredSize of them: a file cut short by another
// process after its length was taken. Seeks anywhere from 0 succeed.
bool openShrinkingStream(const uint8_t* bytes, size_t deliveredSize, size_t claimedSize,
                         MemoryStream* out);
void closeMemoryStream(MemoryStream* stream);

// Stops the run with a message when an invariant of the loader or the
// converter does not hold.
[[noreturn]] void fuzzFailure(const char* what);
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFailure(#condition);                                                               \
    } while (0)
