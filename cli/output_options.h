// How convert wraps its words: --format rgn|raw|c, --byte-order and --name,
// and the file each output gets from them (formats/word_files.h).
#pragma once

#include "convert/quantise.h"
#include "formats/word_files.h"

#include <CLI/CLI.hpp>
#include <string>

struct OutputOptions {
    bool formatGiven = false;
    WordFormat format = WordFormat::rgn;
    ByteOrder order = ByteOrder::little;
    std::string name; // the C array's; empty: from the output's file name
};

// Registers --format, --byte-order and --name on a command.
void addOutputOptions(CLI::App* command, OutputOptions& options);

// The format of an output named output: --format when given, else the
// name's extension (standard output and unknown extensions are RGN/MBR).
WordFormat outputFormat(const OutputOptions& options, const std::string& output);

// Throws the usage error for choices that do not go together: big-endian
// RGN/MBR, --name without C text or for a batch (its arrays are named after
// their files).
void checkOutputChoices(const OutputOptions& options, WordFormat format, bool batch);

// Everything the file of one output needs besides its words.
WordFileChoice wordFileChoice(const OutputOptions& options, const Quantisation& quantisation,
                              const std::string& input, const std::string& output);

// "Error writing OUTPUT: ..." when the picture cannot be written in the
// chosen format (C has no arrays without elements); empty otherwise.
std::string formatRefusal(const WordFileChoice& choice, int32_t width, int32_t height,
                          const std::string& output);
