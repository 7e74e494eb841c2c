// The command line and the console as a UTF-8 program sees them.
#pragma once

#include <string>
#include <vector>

// The arguments in UTF-8. Windows hands a narrow main() its arguments in the
// ANSI code page, which loses every character outside it; they are read
// again as UTF-16 from the system, and file names are taken as UTF-8 from
// then on. Elsewhere the arguments are as given.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Makes a console show the UTF-8 that the program prints as characters, for
// as long as the program runs. Redirected output gets the bytes unchanged.
void useUtf8Console();
