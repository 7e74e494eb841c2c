// The main dialog's procedure: maps the window messages onto the handlers of
// ui/dialog.h, which reach the controls through a MainDialogView made here.
#pragma once

#include <windows.h>

#include "ui/dialog.h"

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The view whose operations act on the controls of dialog.
MainDialogView windowsDialogView(HWND dialog);

// Shows a message box and ends the process: the out-of-memory handler of the
// string routines in the Windows program.
[[noreturn]] void reportOutOfMemory(const char* what);
