#include "cli/commands.h"

#include <cstring>
#include <filesystem>

std::string writeErrorMessage(const std::string& path, int systemError) {
    return "Error writing " + path + ": " + strerror(systemError);
}

void reportWriteError(const std::string& path, int systemError) {
    fprintf(stderr, "%s\n", writeErrorMessage(path, systemError).c_str());
}

bool refuseToOverwriteInput(const std::string& input, const std::string& output) {
    std::error_code unknown;
    if (!std::filesystem::equivalent(input, output, unknown))
        return false;
    fprintf(stderr, "Error writing %s: it is the input file\n", output.c_str());
    return true;
}
