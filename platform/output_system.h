// Inside platform/ only: the system calls that the output module
// (output_file.cpp) is made of, one for each step of replacing a file, on
// Linux and on Windows alike. Each returns 0 or the system's error number
// unless it says otherwise.
#pragma once

#include <cstdio>
#include <string>

#ifndef _WIN32
#include <sys/types.h>
#endif

namespace outputSystem {

// The folder part of path with its separator ("" for a bare name).
std::string folderOf(const std::string& path);

int processNumber();

// Renames from over to, replacing it in one step.
int moveOver(const std::string& from, const std::string& to);

// A second name for an existing file (a hard link).
int linkAs(const std::string& existing, const std::string& name);

// The file a chain of symbolic links ends at (which need not exist yet);
// the error, if any, in *code.
std::string followLinks(const std::string& path, int* code);

struct TargetState {
    bool exists;
    bool regular;
    bool folder;
#ifdef _WIN32
    int mode;
#else
    mode_t mode;
    uid_t owner;
    gid_t group;
#endif
};

// What is at path; a missing file is no error.
int targetState(const std::string& path, TargetState* state);

// 0 when the caller may write to the file at path.
int writableCheck(const std::string& path);

// Creates path, which must not exist yet (EEXIST otherwise), for writing:
// with the permission bits (and, where allowed, the owner) of the file it
// is to replace, described by state.
int createExclusiveStream(const std::string& path, const TargetState& state, FILE** stream);

// Opens a device, a pipe or the like for writing where it is. Null, with
// errno set, when it cannot be.
FILE* openInPlace(const char* path);

// Removes the file at path.
int removeFile(const std::string& path);

// Standard output, made to pass bytes unchanged.
FILE* standardOutputStream();

} // namespace outputSystem
