#include "ui/win32/file_dialogs.h"

#include "ui/dialog.h"
#include "ui/strings.h"

#include <commdlg.h>

namespace {

constexpr DWORD openFlags = OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_PATHMUSTEXIST |
                            OFN_FILEMUSTEXIST | OFN_NONETWORKBUTTON | OFN_EXPLORER |
                            OFN_ENABLESIZING;
// No OFN_OVERWRITEPROMPT: an existing target is replaced without a question.
constexpr DWORD saveFlags = openFlags & ~static_cast<DWORD>(OFN_FILEMUSTEXIST);
static_assert(openFlags == 0x8A1824 && saveFlags == 0x8A0824, "file dialog flags");

// The full record, reserved fields and FlagsEx included, so that the dialog
// offers the places bar and the current layout.
static_assert(sizeof(OPENFILENAMEA) == 88, "OPENFILENAMEA of a 32-bit program");

constexpr DWORD pathBufferBytes = MAX_PATH;

using FileDialogCall = BOOL(WINAPI*)(LPOPENFILENAMEA);

char* pickFile(FileDialogCall showDialog, DWORD flags, const char* title, const char* description,
               const char* pattern) {
    char path[pathBufferBytes] = "";
    char* filter = buildFilterString(description, pattern);
    char* titleCopy = dupString(title);

    OPENFILENAMEA request{};
    request.lStructSize = sizeof(request);
    request.hwndOwner = nullptr;
    request.lpstrFilter = filter;
    request.nFilterIndex = 1;
    request.lpstrFile = path;
    request.nMaxFile = pathBufferBytes;
    request.lpstrTitle = titleCopy;
    request.Flags = flags;
    request.lpfnHook = fileDialogHook;

    const BOOL chosen = showDialog(&request);
    freeString(titleCopy);
    freeString(filter);
    if (!chosen)
        return nullptr;
    return dupString(path);
}

} // namespace

char* pickOpenFile(const char* title, const char* description, const char* pattern) {
    return pickFile(GetOpenFileNameA, openFlags, title, description, pattern);
}

char* pickSaveFile(const char* title, const char* description, const char* pattern) {
    return pickFile(GetSaveFileNameA, saveFlags, title, description, pattern);
}

UINT_PTR CALLBACK fileDialogHook(HWND hook, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
    // An Explorer-style dialog gives its hook a child window; the parent is
    // the file dialog itself. The dialog is centred as it starts and once
    // more when it has laid itself out, since fitting in the hook's child can
    // still change its size after the hook's WM_INITDIALOG.
    if (message == WM_INITDIALOG) {
        centreWindow(GetParent(hook));
        return 1;
    }
    // WM_NOTIFY carries its NMHDR in lParam: the message's contract.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE)
        centreWindow(GetParent(hook));
    return 0;
}

int32_t centreWindow(HWND window) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int32_t w = frame.right - frame.left;
    const int32_t h = frame.bottom - frame.top;
    // The whole screen, not the work area: a task bar does not shift the result.
    const int32_t sw = GetSystemMetrics(SM_CXSCREEN);
    const int32_t sh = GetSystemMetrics(SM_CYSCREEN);
    const ScreenPosition position = centredPosition(w, h, sw, sh);
    MoveWindow(window, position.x, position.y, w, h, FALSE);
    return 1;
}
