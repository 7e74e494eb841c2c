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

// The rows of a picture that arrive while a run goes (a file still being
// decoded): provide puts the picture's next `count` rows, top first, at rows
// (3 x width bytes each, one after another), or gives the reason they
// cannot be had.
struct RowSupply {
    void* context;
    Reason (*provide)(void* context, int32_t count, uint8_t* rows);
};

// The conversion run for a width x height picture whose rows are asked for
// a piece at a time, just before they are quantised, so that the picture
// is never held whole. A target written in place (standard output, a pipe,
// a device) cannot be taken back, so it gets no byte before every row has
// come, and there the picture is held whole. When rows cannot be had, the
// run ends with the supply's reason and the target is left as it was;
// other failures as convertImageToFile's.
Status convertRowsToFile(const char* targetPath, int32_t width, int32_t height,
                         const Quantisation& quantisation, const RowSupply& supply,
                         const WordWrapping& wrapping = rgnWrapping());
