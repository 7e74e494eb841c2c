#include "cli/commands.h"

// Placeholder: the compare command is registered here.
void addCompareCommand(CLI::App& /*app*/, CommandRunner& /*runner*/) {}
