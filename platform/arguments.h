// The command line as a UTF-8 program sees it (platform/console.h prints).
#pragma once

#include <string>
#include <vector>

// The arguments in UTF-8. Windows hands a narrow main() its arguments in the
// ANSI code page, which loses every character outside it; they are read
// again as UTF-16 from the system, and file names are taken as UTF-8 from
// then on. Elsewhere the arguments are as given.
std::vector<std::string> commandLineArguments(int argc, char** argv);
