#include "cli/rgn_input.h"
#include "platform/console.h"
#include "platform/files.h"

#include <cstring>

FILE* openRgnFile(const std::string& path, RgnFileHeader* header) {
    FILE* stream = openRegularFile(path.c_str());
    if (stream == nullptr) {
        printText(stderr, "Error opening file\n");
        return nullptr;
    }
    const Status read = readRgnHeader(stream, header);
    if (!succeeded(read)) {
        printText(stderr, "Error reading file %s: %s\n", path.c_str(), strerror(read.systemError));
        (void)fclose(stream); // a stream that was only read from
        return nullptr;
    }
    return stream;
}
