// The command line's quantisation options (--dither, --serpentine,
// --green-compensation), shared by every command that quantises.
#pragma once

#include "convert/quantise.h"

#include <CLI/CLI.hpp>

// Registers the options on a command; parsing fills quantisation. A
// --serpentine without error diffusion (none, ordered) is a usage error.
void addQuantisationOptions(CLI::App* command, Quantisation& quantisation);

// --green-compensation on|off alone, for commands that choose the method
// themselves.
void addGreenCompensationOption(CLI::App* command, bool& greenCompensation);
