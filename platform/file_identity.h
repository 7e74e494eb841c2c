// What a file is, whatever name reaches it: device and inode, or on Windows
// volume serial number and file index. Links and second names of one file
// compare equal.
#pragma once

#include <cstdint>

struct FileIdentity {
    uint64_t volume;
    uint64_t index;
};

// False when path names nothing that exists.
bool fileIdentity(const char* path, FileIdentity* identity);

inline bool sameFileIdentity(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}
