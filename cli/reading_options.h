// How the command line reads its input pictures: the reading options every
// command that reads a picture shares, and the loading itself.
#pragma once

#include "prepare/prepare.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

// Registers --decoder, --background, --resize, --fit, --filter,
// --max-pixels and --colour-profile on a command.
void addReadingOptions(CLI::App* command, ReadingChoices& reading);

// What loading one input gave: the picture (pixels owned by the caller), or
// the message for the user; and any warnings about the reading. The texts do
// not name the file: whoever prints them puts "PATH: " first.
struct InputLoad {
    RgbImage image{};
    std::string failure; // empty on success
    std::vector<std::string> warnings;
    std::string colourConvertedFrom; // PictureLoad's, for decode to show
};

// path "-" reads standard input, whole, before decoding.
InputLoad loadInputFile(const std::string& path, const ReadingChoices& reading);

// Prints the load's warnings and any failure on standard error, each as
// "PATH: text". False on failure.
bool reportInputLoad(const std::string& path, const InputLoad& load);

// Loads path; prints warnings and any failure on standard error, each as
// "PATH: text". False on failure.
bool loadInputImage(const std::string& path, const ReadingChoices& reading, RgbImage* image);

// Starts reading the file at path by rows (startRowReading) when it allows
// that, *input being the open file, to be closed after the end; false, with
// nothing open, kept or printed, when it is to be loaded whole. Standard
// input is always loaded whole.
bool startInputRows(const std::string& path, const ReadingChoices& reading, RowReading* rows,
                    FILE** input);

// Ends a reading by rows (endRowReading) and prints its warnings and any
// failure as loadInputImage does. False on failure.
bool finishInputRows(const std::string& path, RowReading* rows);

// The help text of a command's picture argument.
constexpr const char* pictureInputText =
    "BMP, TGA, PNG, JPEG, GIF or WebP file (- for standard input)";

// Loads path as loadInputImage does, gives the picture to use and releases
// it: use's exit status, or 1 when the picture could not be read.
int withInputImage(const std::string& path, const ReadingChoices& reading,
                   const std::function<int(const RgbImage&)>& use);
