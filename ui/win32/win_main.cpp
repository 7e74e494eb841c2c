// The program's graphical entry: registers the dialog's window class and runs
// the main dialog; the value it ends with is the exit status.
#include <windows.h>

#include <commctrl.h>

#include "ui/strings.h"
#include "ui/win32/main_dialog.h"

namespace {

// The eight control classes of the original common controls.
constexpr DWORD commonControlClasses = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES |
                                       ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS |
                                       ICC_PROGRESS_CLASS | ICC_HOTKEY_CLASS | ICC_ANIMATE_CLASS;
static_assert(commonControlClasses == 0xFF, "common control classes");

// The system's predefined dialog box class.
const char* const systemDialogClass = MAKEINTATOM(0x8002);

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    setOutOfMemoryHandler(reportOutOfMemory);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = commonControlClasses;
    InitCommonControlsEx(&controls);

    // halvexClass is the dialog class with the program's icon, so the dialog
    // behaves as any other and is driven by the default dialog procedure.
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (!GetClassInfoExA(nullptr, systemDialogClass, &windowClass))
        return 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.lpszClassName = "halvexClass";
    if (RegisterClassExA(&windowClass) == 0)
        return 0;

    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, mainDialogProc, 0));
}
