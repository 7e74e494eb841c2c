// The main dialog's logic, apart from the platform: the five handlers work on
// appState and reach the screen only through a MainDialogView, so the same
// code runs in the Windows program and in tests with a recording view. Also
// the pure pieces of the file dialogs: the filter list and the centring
// arithmetic.
#pragma once

#include <cstdint>

enum : int32_t {
    IDD_MAIN = 1001,
    IDI_APP = 8001,
    IDC_DITHER = 4001,
    IDC_DITHER_LABEL = 4002,
    IDC_CANCEL_BUTTON = 4003,
    IDC_BROWSE = 4004,
    IDC_FILE_GROUP = 4005,
    IDC_FILE_NAME = 4006,
    IDC_GREEN_COMP = 4007,
};

// The view operations, each given the record's context, and the two file
// pickers, which return a new path (freeString) or null.
struct MainDialogView {
    void* context;
    void (*addDitherEntry)(void* context, int32_t position, const char* text);
    void (*selectDither)(void* context, int32_t position);
    void (*tickGreenCompensation)(void* context);
    int32_t (*readGreenCompensation)(void* context);
    int32_t (*readDitherSelection)(void* context);
    void (*setFileNameText)(void* context, const char* text);
    void (*showError)(void* context, const char* text);
    void (*endDialog)(void* context, int32_t value);
    char* (*pickOpenFile)(const char* title, const char* description, const char* pattern);
    char* (*pickSaveFile)(const char* title, const char* description, const char* pattern);
};

// Each returns 1 (handled). A command that arrives while another handler is
// still running (the file dialogs and message boxes run their own message
// loops) is refused: it does nothing and returns 1.
int32_t onInitDialog(const MainDialogView& view);
int32_t onBrowse(const MainDialogView& view);
int32_t onOk(const MainDialogView& view);
int32_t onCancel(const MainDialogView& view);
int32_t onClose(const MainDialogView& view);

// The path as shown in "File to convert": itself up to 48 bytes, else "..."
// and its last 45 bytes. A new string (freeString).
char* displayPathText(const char* path);

// "description\0pattern\0All\0*.*\0\0" as a new block (freeString).
char* buildFilterString(const char* description, const char* pattern);

struct ScreenPosition {
    int32_t x;
    int32_t y;
};
// Where a w x h window goes to be centred on a sw x sh screen.
ScreenPosition centredPosition(int32_t w, int32_t h, int32_t sw, int32_t sh);
