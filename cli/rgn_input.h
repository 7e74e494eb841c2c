// Opening an RGN/MBR file named on the command line.
#pragma once

#include "convert/rgn_file.h"
#include "image/image.h"

#include <cerrno>
#include <cstdio>
#include <string>

// Opens path ("rb", regular files only) and reads its header. On failure
// prints "Error opening file" or the read error on standard error and
// returns null.
FILE* openRgnFile(const std::string& path, RgnFileHeader* header);
