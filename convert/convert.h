// Conversion and export: quantisation of an RgbImage to RGB565 words
// (quantise.h) and the RGN/MBR file they are written to (rgn_writer.h).
#pragma once

#include "convert/quantise.h"
#include "convert/rgn_writer.h"
