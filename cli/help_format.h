// Help texts written for people rather than from the argument library's
// internals, and the message for a mistyped command.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

// Installs the help layout on app and every command registered so far (call
// it after the commands are added):
// - an option that takes a value shows a value name, "--dither MODE": the
//   text given with option_text(), else a plain word for the value's type
//   ("N" for numbers, "VALUE" otherwise); never the library's type names,
//   accepted-value tables, "REQUIRED", "Needs:" or "Excludes:";
// - an argument shows its name only ("INPUT", "INPUT..." for a list);
// - every line fits in 80 columns; a description's own line breaks are
//   kept, so a list of values can have one line each.
void configureHelp(CLI::App& app);

// Replaces the usage line that the library derives for command with the
// given lines ("halvex-cli convert [OPTIONS] INPUT OUTPUT", ...). Call after
// configureHelp.
void setHelpUsage(CLI::App& command, const std::vector<std::string>& usageLines);

// The candidate nearest to word, by edit distance (a candidate that starts
// with word counts as near), or "" when none is near enough to be a likely
// typing mistake.
std::string closestName(const std::string& word, const std::vector<std::string>& candidates);

// "unknown command 'conv'; did you mean 'convert'?" when the first argument
// that is not an option names no command of app (without the question when
// nothing is close); "" when the command exists or none is given.
std::string unknownCommandMessage(const CLI::App& app, int argc, const char* const* argv);
