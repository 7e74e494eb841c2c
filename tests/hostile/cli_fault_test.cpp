// halvex-cli when the file system fails it: targets that cannot be written
// or fill up, sources that are not readable regular files. Every failure
// must exit with status 1 and its message, leave the source as it was, and
// leave no partial target behind; a device target survives a failed run.
#include "test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

struct RunOptions {
    rlim_t fileSizeLimit = RLIM_INFINITY; // bytes any file may grow to
    bool unprivileged = false;            // run as an ordinary user, so permission bits count
};

struct RunResult {
    int status = -1; // exit status, or -1 when the run did not exit normally
    std::string errors;
};

// Runs halvex-cli with the arguments; gives up (status -1) after 60
// seconds. Standard error comes back through a pipe, which a file size
// limit does not cut short.
RunResult runCli(const std::vector<std::string>& args, const RunOptions& options) {
    int errorPipe[2];
    if (pipe(errorPipe) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        const int nothing = open("/dev/null", O_RDWR);
        if (nothing < 0)
            _exit(126);
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, STDOUT_FILENO);
        dup2(errorPipe[1], STDERR_FILENO);
        close(errorPipe[0]);
        if (options.fileSizeLimit != RLIM_INFINITY) {
            // A write past the limit then fails with EFBIG instead of killing the process.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.unprivileged && geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
                _exit(125);
        }
        std::vector<char*> argv;
        std::string program = HALVEX_CLI;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(errorPipe[1]);
    fcntl(errorPipe[0], F_SETFL, O_NONBLOCK);
    RunResult result;
    char buffer[4096];
    int status = 0;
    for (int waited = 0; waited < 6000; ++waited) {
        ssize_t got = 0;
        while ((got = read(errorPipe[0], buffer, sizeof buffer)) > 0)
            result.errors.append(buffer, static_cast<size_t>(got));
        if (waitpid(child, &status, WNOHANG) == child) {
            while ((got = read(errorPipe[0], buffer, sizeof buffer)) > 0)
                result.errors.append(buffer, static_cast<size_t>(got));
            close(errorPipe[0]);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return result;
        }
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    close(errorPipe[0]);
    result.errors += "(timed out)";
    return result;
}

Bytes sampleBmp() {
    BmpBuild layout;
    layout.width = 64;
    layout.height = 64;
    layout.rows.assign(64, std::vector<uint32_t>(64));
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            layout.rows[y][x] = static_cast<uint32_t>((x * 4) << 16 | (y * 4) << 8 | ((x + y) * 2));
    return buildBmp(layout);
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isCharacterDevice(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

// A folder that an unprivileged run can reach.
void openUp(const std::string& path) {
    chmod(path.c_str(), 0755);
}

// What the target is before the run, and what must hold after a failed run.
enum class Target {
    Absent,        // nothing there before, nothing after
    ExistingFile,  // a file with other contents: untouched
    ReadOnlyFile,  // a file the run may not write: untouched
    Folder,        // a folder: still a folder, still empty
    MissingFolder, // the target's folder does not exist: nothing created
    FullDevice,    // /dev/full: still the device
};

struct TargetFault {
    const char* what;
    const char* command;
    Target target;
    RunOptions options;
    const char* message;
};

TEST(CliFaults, TargetsThatCannotBeWrittenLeaveNothingBehind) {
    const TargetFault faults[] = {
        {"folder missing", "convert", Target::MissingFolder, {}, "No such file or directory"},
        {"target is a folder", "convert", Target::Folder, {}, "Is a directory"},
        {"decode target is a folder", "decode", Target::Folder, {}, "Is a directory"},
        {"disk full (device)", "convert", Target::FullDevice, {}, "No space left on device"},
        {"file size limit, new file", "convert", Target::Absent, {1000, false}, "File too large"},
        {"file size limit, header fits", "convert", Target::Absent, {48, false}, "File too large"},
        {"file size limit, existing file",
         "convert",
         Target::ExistingFile,
         {4096, false},
         "File too large"},
        {"decode, file size limit", "decode", Target::Absent, {1000, false}, "File too large"},
        {"read-only target",
         "convert",
         Target::ReadOnlyFile,
         {RLIM_INFINITY, true},
         "Permission denied"},
    };
    const Bytes source = sampleBmp();
    for (const TargetFault& fault : faults) {
        SCOPED_TRACE(fault.what);
        TempDir dir;
        openUp(dir.path);
        const std::string sourcePath = dir.file("source.bmp");
        writeFileBytes(sourcePath, source);
        std::string target = dir.file("out.rgn");
        const Bytes previous = {'o', 'l', 'd'};
        switch (fault.target) {
        case Target::Absent:
            break;
        case Target::ExistingFile:
            writeFileBytes(target, previous);
            break;
        case Target::ReadOnlyFile:
            writeFileBytes(target, previous);
            chmod(target.c_str(), 0444);
            break;
        case Target::Folder:
            ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
            break;
        case Target::MissingFolder:
            target = dir.file("missing/out.rgn");
            break;
        case Target::FullDevice:
            target = "/dev/full";
            break;
        }
        const RunResult run = runCli({fault.command, sourcePath, target}, fault.options);
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_NE(run.errors.find("Error writing"), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find(fault.message), std::string::npos) << run.errors;
        EXPECT_TRUE(readFileBytes(sourcePath) == source) << "the source changed";
        switch (fault.target) {
        case Target::Absent:
        case Target::MissingFolder:
            EXPECT_FALSE(fileExists(target)) << "a partial target is left";
            break;
        case Target::ExistingFile:
        case Target::ReadOnlyFile:
            EXPECT_TRUE(readFileBytes(target) == previous) << "the refused target changed";
            break;
        case Target::Folder:
            EXPECT_TRUE(isDirectory(target));
            EXPECT_EQ(rmdir(target.c_str()), 0) << "the folder is no longer empty";
            break;
        case Target::FullDevice:
            EXPECT_TRUE(isCharacterDevice(target)) << "the device was removed";
            break;
        }
    }
}

struct SourceFault {
    const char* what;
    const char* source; // a name in the test's folder, or an absolute path
    const char* message;
};

TEST(CliFaults, SourcesThatCannotBeReadFailBeforeTheTargetIsTouched) {
    if (geteuid() == 0) {
        // Root reads whatever the permission bits say; the unreadable case
        // below runs as an ordinary user instead.
        RecordProperty("unreadable", "run as user nobody");
    }
    const SourceFault faults[] = {
        {"missing", "missing.bmp", "Error opening file"},
        {"a folder", "folder", "Error opening file"},
        {"a device", "/dev/zero", "Error opening file"},
        {"a link to a device", "link-to-device", "Error opening file"},
        {"a named pipe without a writer", "pipe", "Error opening file"},
        {"unreadable", "unreadable.bmp", "Error opening file"},
        {"empty", "empty.bmp", "Error reading file (not BMP?)"},
        {"not an image", "text.bmp", "Error reading file (not BMP?)"},
    };
    for (const SourceFault& fault : faults) {
        for (const char* command : {"convert", "decode"}) {
            SCOPED_TRACE(std::string(fault.what) + ", " + command);
            TempDir dir;
            openUp(dir.path);
            ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
            ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0666), 0);
            ASSERT_EQ(symlink("/dev/zero", dir.file("link-to-device").c_str()), 0);
            writeFileBytes(dir.file("unreadable.bmp"), sampleBmp());
            chmod(dir.file("unreadable.bmp").c_str(), 0);
            writeFileBytes(dir.file("empty.bmp"), {});
            const std::string text = "not an image\n";
            writeFileBytes(dir.file("text.bmp"), Bytes(text.begin(), text.end()));
            const std::string source =
                fault.source[0] == '/' ? fault.source : dir.file(fault.source);
            const std::string target = dir.file("out");
            // Only the unreadable case needs an ordinary user; the others must hold for root.
            RunOptions options;
            options.unprivileged = std::string(fault.source) == "unreadable.bmp";
            if (options.unprivileged) {
                // The ordinary user must be able to create the target, so
                // that only the source can be the reason for a failure.
                chmod(dir.path.c_str(), 0777);
            }
            const RunResult run = runCli({command, source, target}, options);
            EXPECT_EQ(run.status, 1) << run.errors;
            EXPECT_NE(run.errors.find(fault.message), std::string::npos) << run.errors;
            EXPECT_FALSE(fileExists(target)) << "a target was created";
        }
    }
}

// The same runs succeed when nothing is wrong, so the failures above are
// the faults' doing; and a target that exists is replaced whole.
TEST(CliFaults, TheSameRunsSucceedWithoutAFault) {
    TempDir dir;
    openUp(dir.path);
    const Bytes source = sampleBmp();
    writeFileBytes(dir.file("source.bmp"), source);
    writeFileBytes(dir.file("out.rgn"), Bytes(100000, 0xEE));
    const RunOptions limits[] = {{}, {48 + 64 * 64 * 2, false}, {RLIM_INFINITY, true}};
    for (const RunOptions& options : limits) {
        const RunResult run =
            runCli({"convert", dir.file("source.bmp"), dir.file("out.rgn")}, options);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(readFileBytes(dir.file("out.rgn")).size(), 48u + 64 * 64 * 2);
        EXPECT_TRUE(readFileBytes(dir.file("source.bmp")) == source);
        chmod(dir.path.c_str(), 0777); // lets the unprivileged run replace the file
        chmod(dir.file("out.rgn").c_str(), 0666);
    }
}

} // namespace
