// The one way the project writes a file. The new content goes to a
// temporary file in the target's own folder; only when every write and the
// close have succeeded is it moved over the target in one step (rename, or
// MoveFileExW on Windows). So a target is at any moment either what it was
// or the complete new file, and a failure leaves it exactly as it was.
//
// - A symbolic link as target: the file it points to is replaced, the link
//   stays a link. An existing file keeps its permission bits.
// - A target that is neither a regular file nor missing (a device, a pipe, a
//   terminal) cannot be replaced; it is written in place.
// - The name "-" is standard output, written in place.
// - A folder the caller may not write into, or a read-only target, is
//   refused (EACCES) rather than written over in place.
//
// A failure is Reason::System with the system's error number; EINTR when a
// stop was asked for (platform/output_stop.h).
#pragma once

#include "platform/status.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The name that stands for standard output.
constexpr const char* standardOutputName = "-";

// A file being written: open it, put bytes, then commit or abandon it.
struct OutputFile {
    FILE* stream = nullptr; // null once committed or abandoned
    std::string target;     // the file replaced: the given name with links followed
    std::string temporary;  // the new content; empty when the target is written in place
    bool standardOutput = false;
    bool replacesFile = false; // an existing regular file is being replaced
    int error = 0;             // the first failure's system error number; 0 while all is well
};

// Opens the file that will become path. On failure file->error is set too;
// the file then needs no abandoning, though abandoning it does no harm.
Status openOutputFile(OutputFile* file, const char* path);

// Appends count bytes. A failure is kept in file->error and ends the writing:
// later calls do nothing, and commit reports it.
void writeOutputBytes(OutputFile* file, const void* bytes, size_t count);

// Records a failure found by the caller (no memory, a picture too large).
void failOutputFile(OutputFile* file, int systemError);

// Puts the new content in place. On failure the target is as it was and the
// temporary file is gone.
Status commitOutputFile(OutputFile* file);

// Gives up: the temporary file is removed and the target left as it was.
void abandonOutputFile(OutputFile* file);

// Commits two files together: both new contents are put in place or
// neither is (a target written in place cannot be taken back, though). On
// failure *failedFile is the index (0 or 1) of the file that failed.
Status commitOutputFiles(OutputFile* first, OutputFile* second, int* failedFile);

// Writes count bytes as the whole content of path.
Status writeOutputFile(const char* path, const uint8_t* bytes, size_t count);
