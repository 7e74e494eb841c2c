#include "ui/dialog.h"

#include "image/image.h"
#include "platform/files.h"
#include "ui/app_state.h"
#include "ui/strings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t shownPathBytes = 48;
constexpr size_t shownPathTail = 45;

// Set while a handler runs, so that a command dispatched from inside a file
// dialog's or message box's own loop cannot start a second handler.
bool handlerRunning = false;

struct HandlerGuard {
    bool acquired;
    HandlerGuard() : acquired(!handlerRunning) { handlerRunning = true; }
    ~HandlerGuard() {
        if (acquired)
            handlerRunning = false;
    }
    HandlerGuard(const HandlerGuard&) = delete;
    HandlerGuard& operator=(const HandlerGuard&) = delete;
};

void showPath(const MainDialogView& view, const char* path) {
    char* text = displayPathText(path);
    view.setFileNameText(view.context, text);
    freeString(text);
}

void dropSource(const MainDialogView& view, const char* message) {
    view.showError(view.context, message);
    view.setFileNameText(view.context, "");
    freeString(appState.sourcePath);
    appState.sourcePath = nullptr;
}

} // namespace

int32_t onInitDialog(const MainDialogView& view) {
    view.addDitherEntry(view.context, 0, "None");
    view.addDitherEntry(view.context, 1, "Floyd-Steinberg (generic)");
    view.addDitherEntry(view.context, 2, "Atkinson-Boyle (high contrast details)");
    view.selectDither(view.context, 1);
    view.tickGreenCompensation(view.context);
    return 1;
}

int32_t onBrowse(const MainDialogView& view) {
    const HandlerGuard guard;
    if (!guard.acquired)
        return 1;
    free(appState.imagePixels);
    appState.imagePixels = nullptr;
    freeString(appState.sourcePath);
    appState.sourcePath = view.pickOpenFile("Select BMP or TGA file", "Bitmaps", "*.bmp;*.tga");
    if (appState.sourcePath == nullptr) {
        view.setFileNameText(view.context, "");
        return 1;
    }
    showPath(view, appState.sourcePath);
    FILE* stream = openRegularFile(appState.sourcePath);
    if (stream == nullptr) {
        dropSource(view, "Error opening file");
        return 1;
    }
    appState.imagePixels = loadImage(stream, &appState.imageWidth, &appState.imageHeight);
    if (appState.imagePixels == nullptr)
        dropSource(view, "Error reading file (not BMP?)");
    (void)fclose(stream); // a stream that was only read from
    return 1;
}

int32_t onOk(const MainDialogView& view) {
    const HandlerGuard guard;
    if (!guard.acquired)
        return 1;
    char* target = view.pickSaveFile("Select RGN/MBR file to save", "RGN/MBR files", "*.rgn;*.mbr");
    if (target == nullptr)
        return 1;
    const int32_t greenCompensation = view.readGreenCompensation(view.context);
    const int32_t ditherMode = view.readDitherSelection(view.context);
    const int32_t result = convertAndSave(target, greenCompensation, ditherMode);
    freeString(target);
    if (result >= 0)
        view.endDialog(view.context, 0);
    return 1;
}

int32_t onCancel(const MainDialogView& view) {
    if (!handlerRunning)
        view.endDialog(view.context, 1);
    return 1;
}

int32_t onClose(const MainDialogView& view) {
    if (!handlerRunning)
        view.endDialog(view.context, 0);
    return 1;
}

char* displayPathText(const char* path) {
    const size_t length = strlen(path);
    if (length <= shownPathBytes)
        return dupString(path);
    char* text = allocString(50);
    snprintf(text, 51, "...%s", path + (length - shownPathTail));
    return text;
}

char* buildFilterString(const char* description, const char* pattern) {
    const size_t length = strlen(description) + strlen(pattern) + 12;
    char* filter = allocString(length);
    const int formatted = snprintf(filter, length + 1, "%s|%s|All|*.*|", description, pattern);
    for (int i = 0; i < formatted; ++i) {
        if (filter[i] == '|')
            filter[i] = '\0';
    }
    return filter;
}

ScreenPosition centredPosition(int32_t w, int32_t h, int32_t sw, int32_t sh) {
    int32_t x = sw / 2 - w / 2;
    int32_t y = sh / 2 - h / 2;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (x + w > sw)
        x = sw - w;
    if (y + h > sh)
        y = sh - h;
    return ScreenPosition{x, y};
}
