// The command line's quantisation options (--dither, --serpentine,
// --green-compensation), shared by every command that quantises.
#pragma once

#include "convert/quantise.h"

#include <CLI/CLI.hpp>

// Registers the options on a command; parsing fills quantisation.
void addQuantisationOptions(CLI::App* command, Quantisation& quantisation);
