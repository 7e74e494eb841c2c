// The one way the project writes a file. (Placeholder interface: the bytes
// are written straight to the target; replaced by atomic replacement.)
#pragma once

#include <cstddef>
#include <cstdint>

// Writes count bytes as the whole content of path. 0, or -1 with the
// system's error number in *systemError when that is not null.
int32_t writeOutputFile(const char* path, const uint8_t* bytes, size_t count,
                        int* systemError = nullptr);
