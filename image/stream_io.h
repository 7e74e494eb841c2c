// Stream helpers shared by the decoders: reads that fail when short, seeks on
// 32-bit positions, the common failure exit and size arithmetic that cannot
// overflow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct LoaderContext {
    FILE* stream;
    int32_t imageStart;
    int32_t streamEnd; // imageStart + remaining length
};

// A read fails when it delivers fewer bytes than asked, a request for zero
// bytes included.
bool readExact(FILE* stream, void* buffer, size_t count);

// Seeks to imageStart + offset, added with 32-bit wrap-around. A resulting
// negative position is refused, as a 32-bit stream would refuse it, and the
// position stays where it was.
void seekFromImageStart(const LoaderContext& ctx, uint32_t offset);

// Bytes left between the current position and the stream end (negative when
// a seek went past the end).
int64_t bytesLeft(const LoaderContext& ctx);

// Common failure exit: releases the given blocks, leaves the stream at its
// end and returns null.
uint8_t* failLoad(const LoaderContext& ctx, void* block1 = nullptr, void* block2 = nullptr);

// width * height * channels as a byte count, or -1 when it does not fit a
// signed 32-bit size (or a dimension is negative).
int32_t imageBytes(int32_t width, int32_t height, int32_t channels);

// malloc that never returns null for a zero-byte block, so that an image
// without pixels is still a valid result.
uint8_t* allocBlock(int32_t bytes);
