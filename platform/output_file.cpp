#include "platform/output_file.h"

#include "platform/output_stop.h"
#include "platform/output_system.h"

#include <atomic>
#include <cerrno>

namespace {

using namespace outputSystem;

// Numbers the temporary files of this process.
std::atomic<unsigned> temporaryCount{0};

Status failure(int code) {
    return systemFailure(code != 0 ? code : EIO);
}

void keepError(OutputFile* file, int code) {
    if (file->error == 0)
        file->error = code != 0 ? code : EIO;
}

// A name beside the target that no other file has: hidden, and short
// enough for any file system whatever the target's name.
int openTemporary(OutputFile* file, const TargetState& state) {
    const std::string folder = folderOf(file->target);
    std::string base = file->target.substr(folder.size());
    if (base.size() > 64)
        base.resize(64);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder;
        name += ".";
        name += base;
        name += "." + std::to_string(processNumber());
        name += "-" + std::to_string(temporaryCount.fetch_add(1));
        name += ".tmp";
        const int code = createExclusiveStream(name, state, &file->stream);
        if (code == EEXIST)
            continue;
        if (code != 0)
            return code;
        file->temporary = name;
        return 0;
    }
    return EEXIST;
}

int openTarget(OutputFile* file, const char* path) {
    if (std::string(path) == standardOutputName) {
        file->standardOutput = true;
        file->stream = standardOutputStream();
        return 0;
    }
    // Devices, pipes and the like are written through the name given, which
    // may be a link that only the system can follow (/dev/stdout).
    TargetState state{};
    int code = targetState(path, &state);
    if (code != 0)
        return code;
    if (state.folder)
        return EISDIR;
    if (state.exists && !state.regular) {
        file->target = path;
        file->stream = openInPlace(path);
        return file->stream != nullptr ? 0 : errno;
    }
    file->target = followLinks(path, &code);
    if (code != 0)
        return code;
    if (state.exists && (code = targetState(file->target, &state)) == 0 && !state.exists)
        code = ENOENT; // a link that does not lead to the file itself
    if (code != 0)
        return code;
    // Renaming ignores the target's own permissions; a read-only target is
    // refused as opening it for writing would be.
    if (state.exists && (code = writableCheck(file->target)) != 0)
        return code;
    file->replacesFile = state.exists;
    return openTemporary(file, state);
}

// Flushes and, for a temporary file, closes. 0 or the error.
int finishWriting(OutputFile* file) {
    if (file->stream == nullptr)
        return file->error != 0 ? file->error : EIO;
    int code = file->error;
    if (file->standardOutput || file->temporary.empty()) {
        if (fflush(file->stream) != 0 && code == 0)
            code = errno;
        if (file->standardOutput) {
            if (code == 0 && ferror(file->stream))
                code = EIO;
            file->stream = nullptr;
            return code;
        }
    }
    if (fclose(file->stream) != 0 && code == 0)
        code = errno;
    file->stream = nullptr;
    if (code == 0 && outputStopRequested())
        code = EINTR;
    return code;
}

void removeTemporary(OutputFile* file) {
    if (!file->temporary.empty())
        (void)removeFile(file->temporary); // the run fails either way; this only tidies up
    file->temporary.clear();
}

// Moves the finished temporary file over the target. 0 or the error.
int putInPlace(OutputFile* file) {
    if (file->temporary.empty())
        return 0;
    const int code = moveOver(file->temporary, file->target);
    if (code != 0)
        removeTemporary(file);
    file->temporary.clear();
    return code;
}

// The target as it was, kept under a second name while a pair is
// committed, so that it can be put back if the second file fails. 0, with
// *backup empty when there is no previous target, or the error.
int keepPreviousTarget(const OutputFile& file, std::string* backup, bool* linked) {
    backup->clear();
    if (file.temporary.empty() || !file.replacesFile)
        return 0;
    const std::string name = file.temporary + ".old";
    int code = linkAs(file.target, name);
    *linked = code == 0;
    // Without hard links the old file moves aside; the target is then
    // missing until the new one arrives a moment later.
    if (code != 0)
        code = moveOver(file.target, name);
    if (code == 0)
        *backup = name;
    return code;
}

// Undoes the commit of a pair's first file.
void restorePreviousTarget(const OutputFile& file, const std::string& backup) {
    if (!backup.empty())
        (void)moveOver(backup, file.target); // best effort: the failure is reported already
    else
        (void)removeFile(file.target); // the new file had no predecessor
}

} // namespace

Status openOutputFile(OutputFile* file, const char* path) {
    *file = OutputFile{};
    const int code = openTarget(file, path);
    if (code == 0)
        return Status{};
    file->stream = nullptr;
    file->error = code;
    return systemFailure(code);
}

void writeOutputBytes(OutputFile* file, const void* bytes, size_t count) {
    if (file->error != 0 || file->stream == nullptr || count == 0)
        return;
    if (outputStopRequested()) {
        keepError(file, EINTR);
        return;
    }
    if (fwrite(bytes, 1, count, file->stream) != count)
        keepError(file, errno);
}

void failOutputFile(OutputFile* file, int systemError) {
    keepError(file, systemError);
}

Status commitOutputFile(OutputFile* file) {
    int code = finishWriting(file);
    if (code == 0)
        code = putInPlace(file);
    if (code == 0)
        return Status{};
    removeTemporary(file);
    return failure(code);
}

void abandonOutputFile(OutputFile* file) {
    if (file->stream != nullptr && !file->standardOutput)
        (void)fclose(file->stream); // what it holds is thrown away
    file->stream = nullptr;
    removeTemporary(file);
}

Status commitOutputFiles(OutputFile* first, OutputFile* second, int* failedFile) {
    OutputFile* files[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        const int code = finishWriting(files[i]);
        if (code != 0) {
            abandonOutputFile(first);
            abandonOutputFile(second);
            *failedFile = i;
            return failure(code);
        }
    }
    std::string backup;
    bool linked = false;
    if (const int code = keepPreviousTarget(*first, &backup, &linked); code != 0) {
        abandonOutputFile(first);
        abandonOutputFile(second);
        *failedFile = 0;
        return failure(code);
    }
    const bool renamed = !first->temporary.empty();
    int code = putInPlace(first);
    if (code != 0) {
        // The target itself is untouched; a link to it goes, a file moved aside comes back.
        if (linked)
            (void)removeFile(backup);
        else if (!backup.empty())
            (void)moveOver(backup, first->target);
        abandonOutputFile(second);
        *failedFile = 0;
        return failure(code);
    }
    code = putInPlace(second);
    if (code != 0) {
        if (renamed)
            restorePreviousTarget(*first, backup);
        *failedFile = 1;
        return failure(code);
    }
    if (!backup.empty())
        (void)removeFile(backup); // the old content is no longer needed
    return Status{};
}

Status writeOutputFile(const char* path, const uint8_t* bytes, size_t count) {
    OutputFile file;
    if (const Status opened = openOutputFile(&file, path); !succeeded(opened))
        return opened;
    writeOutputBytes(&file, bytes, count);
    return commitOutputFile(&file);
}
