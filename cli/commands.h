// halvex-cli: the command-line front end. Each sub-command registers its
// options on the application and runs once parsing has succeeded; a command
// returns the process's exit status (0 success, 1 failure). Usage errors are
// raised as CLI11 parse errors and end with status 2; an interrupted run ends
// with interruptedStatus (platform/interrupt.h).
#pragma once

#include "cli/dither_options.h"
#include "cli/output_options.h"
#include "cli/reading_options.h"
#include "convert/convert.h"
#include "image/image.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

// What parsing has chosen to run.
using CommandRunner = std::function<int()>;

void addDecodeCommand(CLI::App& app, CommandRunner& runner);
void addConvertCommand(CLI::App& app, CommandRunner& runner);
void addPreviewCommand(CLI::App& app, CommandRunner& runner);
void addInfoCommand(CLI::App& app, CommandRunner& runner);
void addCompareCommand(CLI::App& app, CommandRunner& runner);

// How an output is named in messages: "standard output" for "-".
std::string outputName(const std::string& path);

// "Error writing <path>: <reason>", the message for a target that could not
// be written, and the same printed on standard error. An interrupted write
// says that the target was left as it was.
std::string writeErrorMessage(const std::string& path, int systemError);
void reportWriteError(const std::string& path, int systemError);

// True when the two names reach one file (compared by identity, so links
// and different spellings are caught), or, for files that do not exist yet,
// the same place. "-" is never the same as a file.
bool sameFile(const std::string& a, const std::string& b);

// True, with "Error writing OUTPUT: it is the <role> file", when output
// names the same file as other: writing it would destroy that file. With
// the role "output", "-" twice is standard output twice and refused too.
bool refuseToOverwrite(const std::string& other, const std::string& output, const char* role);
inline bool refuseToOverwriteInput(const std::string& input, const std::string& output) {
    return refuseToOverwrite(input, output, "input");
}

// A batch: every input converted to outputDir/<base name>.<extension> on
// `jobs` worker threads.
struct BatchOptions {
    std::vector<std::string> inputs;
    std::string outputDir;
    std::string extension = "rgn";
    int32_t jobs = 0; // 0: one per core
    Quantisation quantisation;
    ReadingChoices reading;
    OutputOptions output; // every output's format is the same
};

// Runs the batch; exit status 0 when every file converted, 1 when one
// failed, 2 when an output would be written over an input, 130 when it was
// interrupted.
int runBatch(const BatchOptions& options);

// The output name of an input: its last path component without the last
// extension ("dir/photo.v2.bmp" gives "photo.v2"; a leading dot does not
// start an extension).
std::string outputBaseName(const std::string& input);
