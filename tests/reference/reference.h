// The plain full-plane passes: the straightforward reading of each
// quantisation over two whole planes, which the row-wise converter is
// checked against byte for byte. Built into the tests, the fuzzer and the
// benchmark only; no program calls them.
#pragma once

#include "convert/quantise.h"

#include <cstdint>

// rows x columns signed 32-bit channel values; each row is its own block.
// Pixel x of row y keeps red, green, blue at columns 3x, 3x + 1, 3x + 2. The
// six columns past the image and the two rows below it are margins that
// swallow error pushed past the right and bottom edges.
using ChannelPlane = int32_t**;

// Zero-filled plane, or null when it cannot be allocated (partial rows are
// released). Release with freePlane and the same row count.
ChannelPlane allocPlane(int32_t columns, int32_t rows);
void freePlane(ChannelPlane plane, int32_t rows);

// Each fills the image area of Q from the scaled input in P; the dither
// passes also clamp and diffuse error in P, margins included.
void quantisePlain(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                   int32_t greenCompensation);
void ditherFloydSteinberg(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                          int32_t greenCompensation);
void ditherAtkinsonBoyle(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                         int32_t greenCompensation);

// The passes only the command line offers, same arguments. The serpentine
// passes visit odd rows right to left with the pattern mirrored (shares aimed
// left of the image are dropped); even rows are those of the plain passes.
// The ordered pass decides each channel between the two levels shown either
// side of its 8-bit value against an 8 x 8 Bayer threshold; it reads P
// without changing it, and every pixel depends only on its own value and
// position.
void ditherFloydSteinbergSerpentine(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                                    int32_t greenCompensation);
void ditherAtkinsonBoyleSerpentine(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                                   int32_t greenCompensation);
void ditherOrdered(ChannelPlane P, ChannelPlane Q, int32_t width, int32_t height,
                   int32_t greenCompensation);

// The same words, computed the straightforward way: both full planes, the
// pass over them, then the packing. Slower and far larger; kept so that the
// row-wise run can be checked against it byte for byte.
uint8_t* quantiseImageFullPlanes(const RgbImage& source, const Quantisation& quantisation,
                                 int32_t* byteCount);
