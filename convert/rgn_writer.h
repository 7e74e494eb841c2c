// Writing RGN/MBR files (the layout is in rgn_format.h) through the output
// module, so that a target is replaced whole or left as it was.
#pragma once

#include "convert/quantise.h"
#include "convert/rgn_format.h"
#include "platform/output_file.h"

#include <cstdint>

// Puts a complete RGN/MBR file into an open output file: the header for
// width x height, then the 2 x width x height bytes of words.
void putRgnFile(OutputFile* file, int32_t width, int32_t height, const uint8_t* words);

// The whole conversion run for an explicit image. Everything it needs is
// allocated before the target is opened, so a run refused for its size or
// for want of memory never touches the target; the words are then made and
// written a few rows at a time, on a second thread while the calling one
// writes when the picture has more than a few such pieces. A failure is
// Reason::System with the system's error number (EINTR when a stop was
// requested).
Status convertImageToFile(const char* targetPath, const RgbImage& source,
                          const Quantisation& quantisation);
