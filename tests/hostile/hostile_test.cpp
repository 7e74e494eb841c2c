// The loader against hostile and failing input: headers that claim huge
// images, streams that end before their stated length, files changed or
// removed between opening and loading, sources that are not regular files,
// and the inputs the fuzzers found.
#include "allocation_meter.h"
#include "fuzz_support.h"
#include "hostile_files.h"
#include "platform/files.h"
#include "test_support.h"

#include "convert/convert.h"
#include "image/image.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" int fuzzLoadInput(const uint8_t* data, size_t size);
extern "C" int fuzzConvertInput(const uint8_t* data, size_t size);

namespace {

constexpr int32_t untouched = -77;

struct Outcome {
    bool loaded = false;
    bool sizesUntouched = true;
    Bytes rgb;
    size_t peakHeapBytes = 0;
};

Outcome loadStream(FILE* stream) {
    Outcome out;
    int32_t width = untouched;
    int32_t height = untouched;
    allocationMeter::start();
    uint8_t* pixels = loadImage(stream, &width, &height);
    out.peakHeapBytes = allocationMeter::stop();
    out.sizesUntouched = width == untouched && height == untouched;
    if (pixels != nullptr) {
        out.loaded = true;
        out.rgb.assign(pixels, pixels + static_cast<size_t>(width) * height * 3);
        free(pixels);
    }
    return out;
}

Outcome loadFromTempFile(const Bytes& bytes) {
    FILE* stream = tmpfile();
    if (stream == nullptr)
        return {};
    fwrite(bytes.data(), 1, bytes.size(), stream);
    rewind(stream);
    Outcome out = loadStream(stream);
    fclose(stream);
    return out;
}

// The stream's own buffer and the decoders' fixed tables: what any load may
// hold before it allocates the picture.
constexpr size_t smallHeap = 64 * 1024;

TEST(HostileClaims, HugeImagesInSmallFilesAreRefusedWithoutTheirMemory) {
    for (const HostileFile& file : hostileFiles()) {
        SCOPED_TRACE(file.what);
        const Outcome out = loadFromTempFile(file.bytes);
        EXPECT_FALSE(out.loaded);
        EXPECT_TRUE(out.sizesUntouched);
        if (allocationMeter::available()) {
            EXPECT_LT(out.peakHeapBytes, smallHeap) << "bytes held at once";
        }
    }
}

TEST(HostileClaims, ALargeValidImageLoadsWithTwoBlocksAtMost) {
    const Bytes file = largeImage();
    const Outcome out = loadFromTempFile(file);
    ASSERT_TRUE(out.loaded);
    const size_t pixelBytes = size_t{largeWidth} * largeHeight * 3;
    ASSERT_EQ(out.rgb.size(), pixelBytes);
    // The staging block and the pixel block, both of width x height x 3.
    if (allocationMeter::available()) {
        EXPECT_LE(out.peakHeapBytes, 2 * pixelBytes + smallHeap);
        EXPECT_GE(out.peakHeapBytes, pixelBytes) << "the meter missed the pixel block";
    }
    for (int32_t y = 0; y < largeHeight; y += 997) {
        for (int32_t x = 0; x < largeWidth; x += 331) {
            uint8_t rgb[3];
            largePixel(x, y, rgb);
            const size_t at = (size_t{static_cast<size_t>(y)} * largeWidth + x) * 3;
            ASSERT_EQ(out.rgb[at], rgb[0]) << x << "," << y;
            ASSERT_EQ(out.rgb[at + 1], rgb[1]) << x << "," << y;
            ASSERT_EQ(out.rgb[at + 2], rgb[2]) << x << "," << y;
        }
    }
}

// An image without pixels may still claim a huge width or height (a BMP of
// width 2^31 - 1 and height 0 loads). Converting it writes the 48-byte
// header alone, and must not allocate for rows or columns that do not exist.
TEST(HostileClaims, EmptyImagesOfHugeWidthOrHeightConvertToTheHeaderAlone) {
    const struct {
        int32_t width;
        int32_t height;
    } cases[] = {{INT32_MAX, 0}, {1 << 28, 0}, {1 << 30, 0}, {0, INT32_MAX}, {0, 1 << 28}};
    TempDir dir;
    const std::string target = dir.file("empty.rgn");
    uint8_t noPixels = 0;
    for (const auto& c : cases) {
        for (DitherMode mode : {ditherNone, ditherFloydSteinbergMode, ditherAtkinsonBoyleMode}) {
            SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + ", mode " +
                         std::to_string(mode));
            const RgbImage image{c.width, c.height, &noPixels};
            allocationMeter::start();
            const Status result =
                convertImageToFile(target.c_str(), image, dialogQuantisation(1, mode));
            const size_t peak = allocationMeter::stop();
            EXPECT_TRUE(succeeded(result));
            EXPECT_EQ(readFileBytes(target).size(), 48u);
            if (allocationMeter::available()) {
                EXPECT_LT(peak, smallHeap) << "bytes held at once";
            }
        }
    }
}

// Small valid files of every kind, for cutting short.
struct Sample {
    const char* what;
    Bytes bytes;
    size_t mayEndAfter; // a cut at or after this many bytes still loads (0: none does)
};

std::vector<Sample> samples() {
    std::vector<Sample> out;
    auto rows = [](int32_t width, int32_t height, uint32_t modulus) {
        std::vector<std::vector<uint32_t>> r(static_cast<size_t>(height));
        uint32_t v = 7;
        for (auto& row : r)
            for (int32_t x = 0; x < width; ++x, v = v * 69069 + 1)
                row.push_back(modulus ? (v >> 8) % modulus : (v >> 8) & 0xFFFFFF);
        return r;
    };
    for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        BmpBuild layout;
        layout.width = 3;
        layout.height = 3;
        layout.bitsPerPixel = bits;
        for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
            layout.palette.push_back(static_cast<uint32_t>(i * 0x010203));
        layout.rows = rows(3, 3, bits <= 8 ? (1u << bits) : bits == 16 ? 0x10000u : 0);
        const Bytes bytes = buildBmp(layout);
        // 16- and 24-bit rows of width 3 end in padding that may be missing
        // from the last row.
        const size_t padding = bits == 16 ? 2 : bits == 24 ? 3 : 0;
        out.push_back({bits == 1    ? "BMP 1-bit"
                       : bits == 4  ? "BMP 4-bit"
                       : bits == 8  ? "BMP 8-bit"
                       : bits == 16 ? "BMP 16-bit"
                       : bits == 24 ? "BMP 24-bit"
                                    : "BMP 32-bit",
                       bytes, padding ? bytes.size() - padding : 0});
    }
    for (uint8_t type : {1, 2, 3, 9, 10, 11}) {
        TgaBuild layout;
        layout.imageType = type;
        layout.width = 3;
        layout.height = 2;
        const int valueBytes = (type == 2 || type == 10) ? 3 : 1;
        if (type == 1 || type == 9)
            layout.colourMap = {0x112233, 0x445566, 0x778899};
        if (type >= 9) {
            // Row 0: a run of two and one raw value; row 1: a run of three.
            const auto packet = [&](uint8_t header, uint8_t value) {
                layout.pixelData.push_back(header);
                layout.pixelData.insert(layout.pixelData.end(), static_cast<size_t>(valueBytes),
                                        value);
            };
            packet(0x81, 1);
            packet(0x00, 2);
            packet(0x82, 0);
        } else {
            for (int i = 0; i < 6 * valueBytes; ++i)
                layout.pixelData.push_back(static_cast<uint8_t>(i % 3));
        }
        out.push_back({type == 1    ? "TGA type 1"
                       : type == 2  ? "TGA type 2"
                       : type == 3  ? "TGA type 3"
                       : type == 9  ? "TGA type 9"
                       : type == 10 ? "TGA type 10"
                                    : "TGA type 11",
                       buildTga(layout), 0});
    }
    return out;
}

// A file cut short after its length was taken: the loader sees the whole
// length but reads stop early. Every cut must fail cleanly, except a cut in
// the padding of the last 16- or 24-bit BMP row, which yields the whole
// picture.
TEST(ShrinkingStreams, EveryCutFailsCleanlyOrYieldsTheWholePicture) {
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(sample.what);
        const Outcome whole = loadFromTempFile(sample.bytes);
        ASSERT_TRUE(whole.loaded);
        for (size_t delivered = 0; delivered < sample.bytes.size(); ++delivered) {
            MemoryStream stream{};
            ASSERT_TRUE(
                openShrinkingStream(sample.bytes.data(), delivered, sample.bytes.size(), &stream));
            const Outcome cut = loadStream(stream.stream);
            const long end = ftell(stream.stream);
            closeMemoryStream(&stream);
            const bool mayLoad = sample.mayEndAfter != 0 && delivered >= sample.mayEndAfter;
            if (cut.loaded) {
                EXPECT_TRUE(mayLoad) << "loaded though cut after " << delivered << " bytes";
                EXPECT_TRUE(cut.rgb == whole.rgb) << "cut after " << delivered;
            } else {
                EXPECT_FALSE(mayLoad) << "refused when cut in the last row's padding";
                EXPECT_TRUE(cut.sizesUntouched) << delivered;
                EXPECT_EQ(end, static_cast<long>(sample.bytes.size())) << delivered;
            }
        }
    }
}

Bytes tinyBmp(uint32_t rgb) {
    BmpBuild layout;
    layout.width = 2;
    layout.height = 2;
    layout.rows = {{rgb, rgb}, {rgb, rgb}};
    return buildBmp(layout);
}

// Between choosing a file and loading it, the file may be removed, replaced
// or cut by someone else. The opened stream keeps the file it opened.
TEST(SourceChangedAfterOpening, TheOpenedFileIsWhatLoads) {
    TempDir dir;
    const std::string path = dir.file("source.bmp");
    const Bytes original = tinyBmp(0x102030);
    const Bytes other = tinyBmp(0xA0B0C0);
    const Bytes expected = rgbOf({0x102030, 0x102030, 0x102030, 0x102030});

    const struct {
        const char* what;
        void (*change)(const std::string& path, const Bytes& other);
        bool loads;
    } cases[] = {
        {"removed", [](const std::string& p, const Bytes&) { unlink(p.c_str()); }, true},
        {"replaced by renaming another file over it",
         [](const std::string& p, const Bytes& o) {
             writeFileBytes(p + ".new", o);
             rename((p + ".new").c_str(), p.c_str());
         },
         true},
        {"cut to half its length",
         [](const std::string& p, const Bytes& o) {
             ASSERT_EQ(truncate(p.c_str(), static_cast<off_t>(o.size() / 2)), 0);
         },
         false},
        {"cut to nothing",
         [](const std::string& p, const Bytes&) { ASSERT_EQ(truncate(p.c_str(), 0), 0); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFileBytes(path, original);
        FILE* stream = openRegularFile(path.c_str());
        ASSERT_NE(stream, nullptr);
        c.change(path, other);
        const Outcome out = loadStream(stream);
        fclose(stream);
        EXPECT_EQ(out.loaded, c.loads);
        if (c.loads) {
            EXPECT_TRUE(out.rgb == expected);
        } else {
            EXPECT_TRUE(out.sizesUntouched);
        }
    }
}

// Only regular files are opened, and opening never waits: a named pipe
// without a writer is refused at once.
TEST(OpenImageFile, RefusesWhatIsNotARegularFile) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.file("folder");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string regular = dir.file("image.bmp");
    writeFileBytes(regular, tinyBmp(0));
    ASSERT_EQ(symlink(regular.c_str(), dir.file("link-to-image").c_str()), 0);
    ASSERT_EQ(symlink(folder.c_str(), dir.file("link-to-folder").c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.file("link-to-device").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("gone").c_str(), dir.file("dangling").c_str()), 0);

    const struct {
        std::string path;
        bool opens;
        int error;
    } cases[] = {
        {regular, true, 0},
        {dir.file("link-to-image"), true, 0},
        {folder, false, EISDIR},
        {dir.file("link-to-folder"), false, EISDIR},
        {"/dev/zero", false, ENODEV},
        {"/dev/null", false, ENODEV},
        {dir.file("link-to-device"), false, ENODEV},
        {fifo, false, ENODEV},
        {dir.file("missing"), false, ENOENT},
        {dir.file("dangling"), false, ENOENT},
        {"", false, ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        errno = 0;
        FILE* stream = openRegularFile(c.path.c_str());
        EXPECT_EQ(stream != nullptr, c.opens);
        if (stream != nullptr) {
            const Outcome out = loadStream(stream);
            EXPECT_TRUE(out.loaded);
            fclose(stream);
        } else {
            EXPECT_EQ(errno, c.error);
        }
    }
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> files;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr)
        return files;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            files.push_back(directory + "/" + entry->d_name);
    }
    closedir(dir);
    return files;
}

// Inputs the fuzzers found, replayed through the harnesses' own checks (a
// broken invariant aborts the test).
TEST(FuzzRegressions, ReplayCleanly) {
    const struct {
        const char* folder;
        int (*harness)(const uint8_t*, size_t);
    } harnesses[] = {{"load", fuzzLoadInput}, {"convert", fuzzConvertInput}};
    size_t replayed = 0;
    for (const auto& h : harnesses) {
        for (const std::string& path :
             filesIn(std::string(HALVEX_FUZZ_REGRESSIONS) + "/" + h.folder)) {
            SCOPED_TRACE(path);
            const Bytes bytes = readFileBytes(path);
            EXPECT_EQ(h.harness(bytes.data(), bytes.size()), 0);
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u) << "no regression inputs found";
}

} // namespace
