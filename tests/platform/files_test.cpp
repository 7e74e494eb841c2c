// Files opened for reading.
#include "test_support.h"

#include "platform/files.h"

#include <gtest/gtest.h>

namespace {

TEST(RegularFile, FoldersAndDevicesAreRefusedAndAFileIsMeasured) {
    TempDir dir;
    EXPECT_EQ(openRegularFile(dir.path.c_str()), nullptr);
    EXPECT_EQ(openRegularFile("/dev/zero"), nullptr);
    EXPECT_EQ(openRegularFile(dir.file("missing.bmp").c_str()), nullptr);
    writeFileBytes(dir.file("a.bmp"), Bytes(70, 0x42));
    FILE* stream = openRegularFile(dir.file("a.bmp").c_str());
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(fseek(stream, 4, SEEK_SET), 0);
    EXPECT_EQ(streamSize(stream), 70);
    EXPECT_EQ(ftell(stream), 4);
    fclose(stream);
}

} // namespace
