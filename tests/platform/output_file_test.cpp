// The output module: a target is replaced whole or left as it was.
#include "test_support.h"

#include "platform/output_file.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(OutputFile, TargetsThatCannotBeWrittenLeaveNothingBehind) {
    TempDir dir;
    mkdir(dir.file("folder").c_str(), 0755);
    const Bytes bytes(9, 0x36);
    const struct {
        std::string target;
        int error;
    } cases[] = {
        {dir.file("missing/o.rgn"), ENOENT},
        {dir.file("folder"), EISDIR},
        // A device that fills at once: the write fails and the device is not removed.
        {"/dev/full", ENOSPC},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const Status status = writeOutputFile(c.target.c_str(), bytes.data(), bytes.size());
        EXPECT_EQ(status.reason, Reason::System);
        EXPECT_EQ(status.systemError, c.error);
    }
    EXPECT_FALSE(fileExists(dir.file("missing")));
    struct stat info {};
    ASSERT_EQ(stat("/dev/full", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// A file and its preview are committed together: when either fails, both
// targets keep what they held, and no temporary file is left.
TEST(OutputPair, AFailureOfEitherFileLeavesBothTargetsAsTheyWere) {
    const Bytes content = {'n', 'e', 'w'};
    const Bytes old = {'o', 'l', 'd'};
    const struct {
        const char* what;
        const char* first; // a name in the folder, or an absolute path
        const char* second;
        int failedFile;
        int error;
    } cases[] = {
        {"second cannot be written", "a.rgn", "/dev/full", 1, ENOSPC},
        {"first cannot be written", "/dev/full", "b.bmp", 0, ENOSPC},
        {"second refused by its writer", "a.rgn", "big.bmp", 1, EFBIG},
        {"both fine", "a.rgn", "b.bmp", -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const auto place = [&](const char* name) {
            return name[0] == '/' ? std::string(name) : dir.file(name);
        };
        writeFileBytes(dir.file("a.rgn"), old);
        writeFileBytes(dir.file("b.bmp"), old);
        writeFileBytes(dir.file("big.bmp"), old);
        OutputFile first;
        OutputFile second;
        ASSERT_TRUE(succeeded(openOutputFile(&first, place(c.first).c_str())));
        ASSERT_TRUE(succeeded(openOutputFile(&second, place(c.second).c_str())));
        writeOutputBytes(&first, content.data(), content.size());
        if (std::string(c.second) == "big.bmp")
            failOutputFile(&second, EFBIG); // before any byte is written
        else
            writeOutputBytes(&second, content.data(), content.size());
        int failed = -1;
        const Status status = commitOutputFiles(&first, &second, &failed);
        EXPECT_EQ(succeeded(status), c.failedFile < 0);
        EXPECT_EQ(failed, c.failedFile);
        EXPECT_EQ(status.systemError, c.error);
        const Bytes expected = c.failedFile < 0 ? content : old;
        EXPECT_EQ(readFileBytes(dir.file("a.rgn")), expected);
        EXPECT_EQ(readFileBytes(dir.file("b.bmp")), expected);
        EXPECT_EQ(readFileBytes(dir.file("big.bmp")), old);
        size_t entries = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path))
            entries += entry.path().filename().string()[0] == '.' ? 100 : 1;
        EXPECT_EQ(entries, 3u) << "a temporary file is left";
    }
}

} // namespace
