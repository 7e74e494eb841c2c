#include "cli/commands.h"
#include "platform/console.h"

#include "platform/file_identity.h"
#include "platform/output_file.h"
#include "platform/path_names.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

// Where a name that reaches no file yet would be created.
std::string placeKey(const std::string& path) {
    std::error_code error;
    std::string key = nameOfFileSystemPath(std::filesystem::weakly_canonical(
        std::filesystem::absolute(fileSystemPath(path), error), error));
    if (error)
        key = path;
    return foldPathCase(key);
}

} // namespace

std::string outputName(const std::string& path) {
    return path == standardOutputName ? "standard output" : path;
}

std::string writeErrorMessage(const std::string& path, int systemError) {
    if (systemError == EINTR)
        return "Error writing " + outputName(path) + ": interrupted; the file was left as it was";
    return "Error writing " + outputName(path) + ": " + strerror(systemError);
}

void reportWriteError(const std::string& path, int systemError) {
    printText(stderr, "%s\n", writeErrorMessage(path, systemError).c_str());
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a == standardOutputName || b == standardOutputName)
        return false;
    FileIdentity first{};
    FileIdentity second{};
    const bool firstExists = fileIdentity(a.c_str(), &first);
    const bool secondExists = fileIdentity(b.c_str(), &second);
    if (firstExists && secondExists)
        return sameFileIdentity(first, second);
    return !firstExists && !secondExists && placeKey(a) == placeKey(b);
}

bool refuseToOverwrite(const std::string& other, const std::string& output, const char* role) {
    const bool bothStandardOutput =
        std::string(role) == "output" && other == standardOutputName && output == other;
    if (!bothStandardOutput && !sameFile(other, output))
        return false;
    printText(stderr, "Error writing %s: it is the %s file\n", outputName(output).c_str(), role);
    return true;
}
