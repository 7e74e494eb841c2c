#include "test_support.h"

#include "ui/app_state.h"
#include "ui/dialog.h"
#include "ui/strings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Records every view operation as a line of text; the pickers return what
// the test queued and may run a nested command while "open".
struct FakeView {
    std::vector<std::string> log;
    int32_t green = 1;
    int32_t dither = 1;
    std::string openAnswer;
    std::string saveAnswer;
    bool openCancels = false;
    bool saveCancels = false;
    std::function<void()> whileOpen;
};

FakeView* current = nullptr;

FakeView& self(void* context) {
    return *static_cast<FakeView*>(context);
}

char* pick(const char* title, const char* description, const char* pattern, bool cancels,
           const std::string& answer) {
    current->log.push_back(std::string("pick ") + title + " | " + description + " | " + pattern);
    if (current->whileOpen) {
        auto nested = current->whileOpen;
        current->whileOpen = nullptr;
        nested();
    }
    return cancels ? nullptr : dupString(answer.c_str());
}

MainDialogView viewOf(FakeView& fake) {
    current = &fake;
    MainDialogView view{};
    view.context = &fake;
    view.addDitherEntry = [](void* c, int32_t position, const char* text) {
        self(c).log.push_back("add " + std::to_string(position) + " " + text);
    };
    view.selectDither = [](void* c, int32_t position) {
        self(c).log.push_back("select " + std::to_string(position));
    };
    view.tickGreenCompensation = [](void* c) { self(c).log.push_back("tick"); };
    view.readGreenCompensation = [](void* c) {
        self(c).log.push_back("read green");
        return self(c).green;
    };
    view.readDitherSelection = [](void* c) {
        self(c).log.push_back("read dither");
        return self(c).dither;
    };
    view.setFileNameText = [](void* c, const char* text) {
        self(c).log.push_back(std::string("text '") + text + "'");
    };
    view.showError = [](void* c, const char* text) {
        self(c).log.push_back(std::string("error ") + text);
    };
    view.endDialog = [](void* c, int32_t value) {
        self(c).log.push_back("end " + std::to_string(value));
    };
    view.pickOpenFile = [](const char* t, const char* d, const char* p) {
        return pick(t, d, p, current->openCancels, current->openAnswer);
    };
    view.pickSaveFile = [](const char* t, const char* d, const char* p) {
        return pick(t, d, p, current->saveCancels, current->saveAnswer);
    };
    return view;
}

const std::string openPick = "pick Select BMP or TGA file | Bitmaps | *.bmp;*.tga";
const std::string savePick = "pick Select RGN/MBR file to save | RGN/MBR files | *.rgn;*.mbr";

class Dialog : public testing::Test {
  protected:
    TempDir dir;
    FakeView fake;
    MainDialogView view = viewOf(fake);

    void SetUp() override {
        free(appState.imagePixels);
        freeString(appState.sourcePath);
        appState = AppState{nullptr, nullptr, 0, 0};
    }

    std::string writeBmp(const std::string& name, int32_t width, int32_t height) {
        BmpBuild layout;
        layout.width = width;
        layout.height = height;
        layout.rows.assign(static_cast<size_t>(height),
                           std::vector<uint32_t>(static_cast<size_t>(width), 0x646464));
        writeFileBytes(dir.file(name), buildBmp(layout));
        return dir.file(name);
    }

    void browse(const std::string& path) {
        fake.openAnswer = path;
        onBrowse(view);
    }
};

TEST_F(Dialog, StartsWithFloydSteinbergAndCompensation) {
    EXPECT_EQ(onInitDialog(view), 1);
    EXPECT_EQ(fake.log, (std::vector<std::string>{"add 0 None", "add 1 Floyd-Steinberg (generic)",
                                                  "add 2 Atkinson-Boyle (high contrast details)",
                                                  "select 1", "tick"}));
}

TEST_F(Dialog, BrowseOutcomes) {
    const std::string good = writeBmp("good.bmp", 3, 2);
    writeFileBytes(dir.file("bad.tga"), Bytes(100, 7));
    struct Case {
        const char* what;
        std::string path;
        bool cancel;
        std::vector<std::string> log;
        bool loaded;
    };
    const Case cases[] = {
        {"loads", good, false, {openPick, "text '" + good + "'"}, true},
        {"cancelled", "", true, {openPick, "text ''"}, false},
        {"cannot open",
         dir.file("missing.bmp"),
         false,
         {openPick, "text '" + dir.file("missing.bmp") + "'", "error Error opening file",
          "text ''"},
         false},
        {"folder",
         dir.path,
         false,
         {openPick, "text '" + dir.path + "'", "error Error opening file", "text ''"},
         false},
        {"not decoded",
         dir.file("bad.tga"),
         false,
         {openPick, "text '" + dir.file("bad.tga") + "'", "error Error reading file (not BMP?)",
          "text ''"},
         false},
    };
    for (const Case& c : cases) {
        browse(good); // a previously held image is always discarded first
        fake.log.clear();
        fake.openCancels = c.cancel;
        browse(c.path);
        fake.openCancels = false;
        EXPECT_EQ(fake.log, c.log) << c.what;
        EXPECT_EQ(appState.imagePixels != nullptr, c.loaded) << c.what;
        EXPECT_EQ(appState.sourcePath != nullptr, c.loaded) << c.what;
        EXPECT_EQ(appState.imageWidth, 3) << c.what; // sizes stay from the last load
        EXPECT_EQ(appState.imageHeight, 2) << c.what;
    }
}

TEST_F(Dialog, LongPathsAreShortenedToTheirLastBytes) {
    const std::string path48(48, 'a');
    char* shown = displayPathText(path48.c_str());
    EXPECT_EQ(std::string(shown), path48);
    freeString(shown);
    const std::string path49 = "b" + std::string(3, 'c') + std::string(45, 'd');
    shown = displayPathText(path49.c_str());
    EXPECT_EQ(std::string(shown), "..." + std::string(45, 'd'));
    freeString(shown);
    const std::string path300 = std::string(255, 'x') + std::string(45, 'y');
    shown = displayPathText(path300.c_str());
    EXPECT_EQ(std::string(shown), "..." + std::string(45, 'y'));
    freeString(shown);
}

TEST_F(Dialog, OkReadsTheOptionsAfterTheTargetIsChosenAndEnds) {
    browse(writeBmp("in.bmp", 4, 4));
    fake.log.clear();
    fake.saveAnswer = dir.file("out.rgn");
    fake.green = 0;
    fake.dither = 2;
    EXPECT_EQ(onOk(view), 1);
    EXPECT_EQ(fake.log, (std::vector<std::string>{savePick, "read green", "read dither", "end 0"}));
    const Bytes file = readFileBytes(dir.file("out.rgn"));
    ASSERT_EQ(file.size(), 48u + 32u);
    EXPECT_EQ(file[48], 0x2C); // grey 100, Atkinson-Boyle without compensation: 0x632C
    EXPECT_EQ(file[49], 0x63);
}

TEST_F(Dialog, OkCancelledOrFailedLeavesEverythingAsItWas) {
    browse(writeBmp("in.bmp", 2, 2));
    const uint8_t* held = appState.imagePixels;
    fake.log.clear();
    fake.saveCancels = true;
    onOk(view);
    EXPECT_EQ(fake.log, std::vector<std::string>{savePick});
    fake.saveCancels = false;

    fake.log.clear();
    fake.saveAnswer = dir.path; // a folder cannot be written
    onOk(view);
    EXPECT_EQ(fake.log, (std::vector<std::string>{savePick, "read green", "read dither"}));
    EXPECT_EQ(appState.imagePixels, held);

    fake.log.clear();
    fake.saveAnswer = dir.file("second.rgn");
    onOk(view);
    EXPECT_EQ(fake.log.back(), "end 0");
    EXPECT_EQ(readFileBytes(dir.file("second.rgn")).size(), 48u + 8u);
}

TEST_F(Dialog, OkWithoutAnImageWritesAnEmptyImage) {
    // Before any load, and after a failed Browse that left stale sizes.
    for (bool afterFailedBrowse : {false, true}) {
        if (afterFailedBrowse) {
            browse(writeBmp("in.bmp", 5, 3));
            browse(dir.file("missing.bmp"));
            ASSERT_EQ(appState.imageWidth, 5);
        }
        fake.saveAnswer = dir.file("empty.rgn");
        onOk(view);
        const Bytes file = readFileBytes(dir.file("empty.rgn"));
        ASSERT_EQ(file.size(), 48u);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 12), Bytes(12, 0));
    }
}

TEST_F(Dialog, CancelAndCloseEndWithTheirValues) {
    onCancel(view);
    onClose(view);
    EXPECT_EQ(fake.log, (std::vector<std::string>{"end 1", "end 0"}));
}

TEST_F(Dialog, CommandsArrivingWhileAFileDialogIsOpenAreRefused) {
    const std::string good = writeBmp("in.bmp", 2, 2);
    using Handler = int32_t (*)(const MainDialogView&);
    const Handler handlers[] = {onBrowse, onOk, onCancel, onClose};
    for (Handler outer : {onBrowse, onOk}) {
        for (Handler nested : handlers) {
            fake.log.clear();
            fake.openAnswer = good;
            fake.saveAnswer = dir.file("o.rgn");
            fake.whileOpen = [this, nested] { EXPECT_EQ(nested(view), 1); };
            outer(view);
            // Only the outer handler's own picker ran, and nothing ended early.
            size_t picks = 0, ends = 0;
            for (const std::string& line : fake.log) {
                picks += line.rfind("pick", 0) == 0;
                ends += line.rfind("end", 0) == 0;
            }
            EXPECT_EQ(picks, 1u);
            EXPECT_EQ(ends, outer == onOk ? 1u : 0u);
        }
    }
    // Once the outer handler has returned, commands run again.
    fake.log.clear();
    onCancel(view);
    EXPECT_EQ(fake.log, std::vector<std::string>{"end 1"});
}

TEST(FilterString, PairsEndedByAnEmptyString) {
    struct Case {
        const char* description;
        const char* pattern;
        std::string expected;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {"Bitmaps", "*.bmp;*.tga", "Bitmaps\0*.bmp;*.tga\0All\0*.*\0\0"s},
        {"RGN/MBR files", "*.rgn;*.mbr", "RGN/MBR files\0*.rgn;*.mbr\0All\0*.*\0\0"s},
        {"", "*.x", "\0*.x\0All\0*.*\0\0"s},
        {"a|b", "*", "a\0b\0*\0All\0*.*\0\0"s},
    };
    for (const Case& c : cases) {
        char* filter = buildFilterString(c.description, c.pattern);
        EXPECT_EQ(std::string(filter, c.expected.size()), c.expected);
        freeString(filter);
    }
}

TEST(CentredPosition, HalvesEachOperandAndKeepsTheWindowOnScreen) {
    struct Case {
        int32_t w, h, sw, sh, x, y;
    };
    const Case cases[] = {
        {301, 200, 1024, 768, 362, 284}, {300, 201, 1024, 768, 362, 284},
        {900, 100, 800, 600, -100, 250}, {100, 700, 800, 600, 350, -100},
        {800, 600, 800, 600, 0, 0},      {1, 1, 1, 1, 0, 0},
    };
    for (const Case& c : cases) {
        const ScreenPosition p = centredPosition(c.w, c.h, c.sw, c.sh);
        EXPECT_EQ(p.x, c.x) << c.w << "x" << c.h;
        EXPECT_EQ(p.y, c.y) << c.w << "x" << c.h;
        if (c.w <= c.sw && c.h <= c.sh) {
            EXPECT_GE(p.x, 0);
            EXPECT_GE(p.y, 0);
        }
    }
}

TEST(Strings, CopiesAndOutOfMemory) {
    char* copy = dupString("halvex");
    EXPECT_STREQ(copy, "halvex");
    freeString(copy);
    EXPECT_EXIT(allocString(SIZE_MAX), testing::ExitedWithCode(3), "out of memory");
    setOutOfMemoryHandler([](const char*) { _Exit(7); });
    EXPECT_EXIT(dupString(std::string(1, 'x').c_str()) == nullptr ? nullptr : allocString(SIZE_MAX),
                testing::ExitedWithCode(7), "");
    setOutOfMemoryHandler(nullptr);
}

} // namespace
