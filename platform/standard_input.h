// Standard input as a file: copied whole into a scratch file, so that it can
// be read, measured and sought in like any file.
#pragma once

#include <cstdio>

// The copy, opened for reading at its start and removed when it is closed
// (or when the program ends). Null, with errno set, when it cannot be made.
FILE* openStandardInputCopy();
