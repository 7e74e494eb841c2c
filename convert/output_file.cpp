#include "convert/output_file.h"

#include "convert/target_file.h"

#include <cerrno>
#include <cstdio>

int32_t writeOutputFile(const char* path, const uint8_t* bytes, size_t count, int* systemError) {
    bool regular = false;
    FILE* stream = openTargetFile(path, &regular);
    int code = stream == nullptr ? errno : 0;
    bool written = stream != nullptr && (count == 0 || fwrite(bytes, 1, count, stream) == count);
    if (stream != nullptr && !written)
        code = errno;
    if (stream != nullptr && fclose(stream) != 0 && written) {
        written = false;
        code = errno;
    }
    if (written)
        return 0;
    if (regular)
        (void)remove(path);
    if (systemError != nullptr)
        *systemError = code != 0 ? code : EIO;
    return -1;
}
