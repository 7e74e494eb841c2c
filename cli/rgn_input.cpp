#include "cli/rgn_input.h"
#include "platform/files.h"

#include <cstring>

FILE* openRgnFile(const std::string& path, RgnFileHeader* header) {
    FILE* stream = openRegularFile(path.c_str());
    if (stream == nullptr) {
        fprintf(stderr, "Error opening file\n");
        return nullptr;
    }
    if (readRgnHeader(stream, header) < 0) {
        fprintf(stderr, "Error reading file %s: %s\n", path.c_str(), strerror(errno));
        (void)fclose(stream); // a stream that was only read from
        return nullptr;
    }
    return stream;
}
