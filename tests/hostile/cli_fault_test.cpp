// halvex-cli when the file system fails it: targets that cannot be written
// or fill up, sources that are not readable regular files. Every failure
// must exit with status 1 and its message, leave the source as it was, and
// leave no partial target behind; a device target survives a failed run.
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <random>
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

struct Running {
    pid_t child = -1;
    int errorPipe = -1;
};

// Starts halvex-cli with the arguments. Standard error comes back through a
// pipe, which a file size limit does not cut short; standard output goes to
// outputFile (created), or to /dev/null when that is empty.
Running startCli(const std::vector<std::string>& args, const RunOptions& options,
                 const std::string& outputFile = {}) {
    int errorPipe[2];
    if (pipe(errorPipe) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        const int nothing = open("/dev/null", O_RDWR);
        const int output =
            outputFile.empty() ? nothing : open(outputFile.c_str(), O_WRONLY | O_CREAT, 0644);
        if (nothing < 0 || output < 0)
            _exit(126);
        dup2(nothing, STDIN_FILENO);
        dup2(output, STDOUT_FILENO);
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
    return Running{child, errorPipe[0]};
}

// Waits for the run; gives up (status -1) after 60 seconds. The status is
// -1 also when the run did not exit normally.
RunResult finishCli(Running running) {
    RunResult result;
    if (running.child < 0)
        return result;
    char buffer[4096];
    int status = 0;
    auto drain = [&] {
        ssize_t got = 0;
        while ((got = read(running.errorPipe, buffer, sizeof buffer)) > 0)
            result.errors.append(buffer, static_cast<size_t>(got));
    };
    for (int waited = 0; waited < 60000; ++waited) {
        drain();
        if (waitpid(running.child, &status, WNOHANG) == running.child) {
            drain();
            close(running.errorPipe);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return result;
        }
        usleep(1000);
    }
    kill(running.child, SIGKILL);
    waitpid(running.child, &status, 0);
    close(running.errorPipe);
    result.errors += "(timed out)";
    return result;
}

RunResult runCli(const std::vector<std::string>& args, const RunOptions& options) {
    return finishCli(startCli(args, options));
}

// Names in the folder that start with a dot: the output module's temporary
// files and the backups of a pair being committed.
std::vector<std::string> hiddenFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name[0] == '.')
            names.push_back(name);
    }
    return names;
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
    LockedFolder,  // a writable file in a folder the run may not write into: untouched
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
        // Replacing needs a new file beside the target; writing in place is
        // no way round, since it would not be atomic.
        {"read-only folder",
         "convert",
         Target::LockedFolder,
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
            chmod(dir.path.c_str(), 0777); // only the file's own bits refuse
            break;
        case Target::LockedFolder:
            writeFileBytes(target, previous);
            chmod(target.c_str(), 0666);
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
        EXPECT_TRUE(hiddenFiles(dir.path).empty()) << "a temporary file is left";
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
        case Target::LockedFolder:
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

// A picture large enough that a signal can arrive while it is read, while
// it is converted and while it is written.
Bytes gradientBmp(int32_t width, int32_t height, uint32_t seed) {
    Bytes bmp;
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * static_cast<uint32_t>(height);
    bmp.push_back('B');
    bmp.push_back('M');
    putU32(bmp, 54 + pixelBytes);
    putU32(bmp, 0);
    putU32(bmp, 54);
    putU32(bmp, 40);
    putU32(bmp, static_cast<uint32_t>(width));
    putU32(bmp, static_cast<uint32_t>(height));
    putU16(bmp, 1);
    putU16(bmp, 24);
    for (int i = 0; i < 6; ++i)
        putU32(bmp, 0);
    bmp.resize(54 + pixelBytes);
    uint32_t noise = seed;
    for (uint32_t i = 54; i < bmp.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        bmp[i] = static_cast<uint8_t>((i / 3) + (noise >> 28));
    }
    return bmp;
}

double secondsOf(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A signal that arrives before the handlers are installed ends the program
// the default way, before it has touched anything: that counts as
// interrupted too.
bool endedByInterruption(const RunResult& run) {
    return run.status == 130 || run.status == -1;
}

TEST(CliInterruption, ASignalAtAnyMomentLeavesTheOldTargetOrTheWholeNewOne) {
    TempDir dir;
    writeFileBytes(dir.file("source.bmp"), gradientBmp(800, 500, 1));
    // The previous target: a valid file of another picture.
    writeFileBytes(dir.file("old.bmp"), gradientBmp(300, 200, 2));
    ASSERT_EQ(runCli({"convert", dir.file("old.bmp"), dir.file("out.rgn")}, {}).status, 0);
    const Bytes previous = readFileBytes(dir.file("out.rgn"));
    RunResult whole;
    const double seconds = secondsOf([&] {
        whole = runCli({"convert", dir.file("source.bmp"), dir.file("new.rgn")}, {});
    });
    ASSERT_EQ(whole.status, 0) << whole.errors;
    const Bytes complete = readFileBytes(dir.file("new.rgn"));
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delay(0, static_cast<int>(seconds * 1.2e6));
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    int interrupted = 0;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        writeFileBytes(dir.file("out.rgn"), previous);
        const Running running =
            startCli({"convert", dir.file("source.bmp"), dir.file("out.rgn")}, {});
        usleep(static_cast<useconds_t>(delay(random)));
        kill(running.child, signals[round % 3]);
        const RunResult run = finishCli(running);
        const Bytes after = readFileBytes(dir.file("out.rgn"));
        if (run.status == 0) {
            EXPECT_TRUE(after == complete) << "reported success, but the file is not the new one";
        } else {
            EXPECT_TRUE(endedByInterruption(run)) << run.status << " " << run.errors;
            EXPECT_TRUE(after == previous) << "the old target did not survive";
            ++interrupted;
        }
        EXPECT_TRUE(hiddenFiles(dir.path).empty()) << "a temporary file is left";
    }
    EXPECT_GT(interrupted, 10) << "the signals came too late to test anything";
}

TEST(CliInterruption, AnInterruptedBatchAbandonsItsFilesAndSaysHowManyWereLeft) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("out").c_str(), 0755), 0);
    std::vector<std::string> args = {"convert", "-j", "2"};
    for (int i = 0; i < 8; ++i) {
        const std::string name = "in" + std::to_string(i);
        writeFileBytes(dir.file(name + ".bmp"), gradientBmp(400, 250, static_cast<uint32_t>(i)));
        args.push_back(dir.file(name + ".bmp"));
    }
    args.push_back("--output-dir");
    args.push_back(dir.file("out"));
    RunResult whole;
    const double seconds = secondsOf([&] { whole = runCli(args, {}); });
    ASSERT_EQ(whole.status, 0) << whole.errors;
    std::vector<Bytes> complete;
    const Bytes previous = {'o', 'l', 'd'};
    for (int i = 0; i < 8; ++i)
        complete.push_back(readFileBytes(dir.file("out/in" + std::to_string(i) + ".rgn")));
    std::mt19937 random(8);
    std::uniform_int_distribution<int> delay(0, static_cast<int>(seconds * 1e6));
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (int i = 0; i < 8; ++i)
            writeFileBytes(dir.file("out/in" + std::to_string(i) + ".rgn"), previous);
        const Running running = startCli(args, {}, dir.file("summary"));
        usleep(static_cast<useconds_t>(delay(random)));
        kill(running.child, round % 2 == 0 ? SIGINT : SIGTERM);
        const RunResult run = finishCli(running);
        const Bytes summary = readFileBytes(dir.file("summary"));
        const std::string summaryText(summary.begin(), summary.end());
        if (run.status == 130)
            EXPECT_NE(summaryText.find("not converted (interrupted)"), std::string::npos)
                << summaryText;
        else if (run.status == 0)
            EXPECT_EQ(summaryText, "8 converted, 0 failed\n");
        else
            EXPECT_EQ(run.status, -1) << run.errors;
        for (int i = 0; i < 8; ++i) {
            const Bytes after = readFileBytes(dir.file("out/in" + std::to_string(i) + ".rgn"));
            EXPECT_TRUE(after == previous || after == complete[i]) << "output " << i;
        }
        EXPECT_TRUE(hiddenFiles(dir.file("out")).empty()) << "a temporary file is left";
        (void)remove(dir.file("summary").c_str());
    }
}

// A file system that fills up part way: a small tmpfs mounted for the test.
struct SmallFileSystem {
    std::string path;
    bool mounted = false;
    explicit SmallFileSystem(const std::string& at, const char* size) : path(at) {
        mkdir(path.c_str(), 0755);
        const std::string command =
            "mount -t tmpfs -o size=" + std::string(size) + " tmpfs '" + path + "' 2>/dev/null";
        mounted = system(command.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted && system(("umount '" + path + "'").c_str()) != 0)
            ADD_FAILURE() << "could not unmount " << path;
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
};

TEST(CliFaults, AFullDiskKeepsThePreviousTargets) {
    TempDir dir;
    writeFileBytes(dir.file("large.bmp"), gradientBmp(600, 600, 3));  // 720 kB of words
    writeFileBytes(dir.file("medium.bmp"), gradientBmp(400, 400, 3)); // 320 kB, preview 480 kB
    const SmallFileSystem disk(dir.file("disk"), "600k");
    if (!disk.mounted)
        GTEST_SKIP() << "mounting a tmpfs is not allowed here (the test needs root)";
    writeFileBytes(dir.file("small.bmp"), gradientBmp(8, 8, 4));
    const std::string target = disk.path + "/out.rgn";
    const std::string preview = disk.path + "/out.bmp";
    ASSERT_EQ(runCli({"convert", dir.file("small.bmp"), target, "--preview", preview}, {}).status,
              0);
    const Bytes previous = readFileBytes(target);
    const Bytes previousPreview = readFileBytes(preview);
    struct Case {
        const char* what;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"the file", {"convert", dir.file("large.bmp"), target}},
        // The file fits, but not with its preview: neither changes.
        {"the preview", {"convert", dir.file("medium.bmp"), target, "--preview", preview}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult run = runCli(c.args, {});
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_NE(run.errors.find("No space left on device"), std::string::npos) << run.errors;
        EXPECT_TRUE(readFileBytes(target) == previous) << "the previous file was lost";
        EXPECT_TRUE(readFileBytes(preview) == previousPreview) << "the previous preview was lost";
        EXPECT_TRUE(hiddenFiles(disk.path).empty()) << "a temporary file is left";
    }
}

} // namespace
