// The common open and save dialogs, centred on the screen by their hook.
#pragma once

#include <windows.h>

#include <cstdint>

// Each shows its dialog without an owner window and returns the chosen full
// path as a new string (freeString), or null when the user cancelled or the
// dialog failed. The three strings stay the caller's.
char* pickOpenFile(const char* title, const char* description, const char* pattern);
char* pickSaveFile(const char* title, const char* description, const char* pattern);

// The hook of both dialogs: centres the file dialog as it starts.
UINT_PTR CALLBACK fileDialogHook(HWND hook, UINT message, WPARAM wParam, LPARAM lParam);

// Moves window to the centre of the primary screen, keeping its size; 1.
int32_t centreWindow(HWND window);
