// The two branches of loadImage, inside the room. The stream must be
// positioned at imageStart; remainingLength is the number of bytes from
// there to the stream end. Each returns the pixel block or null, as
// loadImage does.
#pragma once

#include <cstdint>
#include <cstdio>

uint8_t* decodeBmp(FILE* stream, int32_t imageStart, int32_t remainingLength, int32_t* width,
                   int32_t* height);
uint8_t* decodeTga(FILE* stream, int32_t imageStart, int32_t remainingLength, int32_t* width,
                   int32_t* height);
