// halvex-cli: the command-line front end. Each sub-command registers its
// options on the application and runs once parsing has succeeded; a command
// returns the process's exit status (0 success, 1 failure).
#pragma once

#include "image/image.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

// What parsing has chosen to run.
using CommandRunner = std::function<int()>;

void addDecodeCommand(CLI::App& app, CommandRunner& runner);
void addConvertCommand(CLI::App& app, CommandRunner& runner);

// Loads path as an image; on failure prints "Error opening file" or "Error
// reading file (not BMP?)" on standard error and returns false.
bool loadInputImage(const std::string& path, RgbImage* image);

// Prints "<path>: <reason>" for a target that could not be written.
void reportWriteError(const std::string& path, int systemError);
