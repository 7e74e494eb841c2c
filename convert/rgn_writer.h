// Writing RGN/MBR files (the layout is in rgn_format.h), or the same words
// in another wrapping (formats/word_files.h), through the output module, so
// that a target is replaced whole or left as it was.
#pragma once

#include "convert/quantise.h"
#include "convert/rgn_format.h"
#include "platform/output_file.h"

#include <cstdint>

// How a run's words are wrapped into a file: what goes before the first
// word of a width x height picture, how each piece of words (least
// significant byte first, count words) is put, and what goes after the last.
// Each puts its bytes into the file; a failure stays in the file, as with
// any write, and ends the run.
struct WordWrapping {
    void* context;
    void (*putStart)(void* context, OutputFile* file, int32_t width, int32_t height);
    void (*putWords)(void* context, OutputFile* file, const uint8_t* words, size_t count);
    void (*putEnd)(void* context, OutputFile* file);
};

// The RGN/MBR file: the header, then the words as they are.
WordWrapping rgnWrapping();

// Puts a complete file of width x height words, already made, into an open
// output file.
void putWrappedWords(OutputFile* file, int32_t width, int32_t height, const uint8_t* words,
                     const WordWrapping& wrapping = rgnWrapping());

// The whole conversion run for an explicit image. Everything it needs is
// allocated before the target is opened, so a run refused for its size or
// for want of memory never touches the target; the words are then made and
// written a few rows at a time, on a second thread while the calling one
// writes when the picture has more than a few such pieces. A failure is
// Reason::System with the system's error number (EINTR when a stop was
// requested).
Status convertImageToFile(const char* targetPath, const RgbImage& source,
                          const Quantisation& quantisation,
                          const WordWrapping& wrapping = rgnWrapping());
