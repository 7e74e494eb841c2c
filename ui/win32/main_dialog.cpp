#include "ui/win32/main_dialog.h"

#include "ui/win32/file_dialogs.h"
#include "ui/win32/resource_ids.h"

#include <cstdio>

static_assert(HALVEX_RC_IDD_MAIN == IDD_MAIN && HALVEX_RC_IDI_APP == IDI_APP &&
                  HALVEX_RC_IDC_DITHER == IDC_DITHER &&
                  HALVEX_RC_IDC_DITHER_LABEL == IDC_DITHER_LABEL &&
                  HALVEX_RC_IDC_CANCEL_BUTTON == IDC_CANCEL_BUTTON &&
                  HALVEX_RC_IDC_BROWSE == IDC_BROWSE &&
                  HALVEX_RC_IDC_FILE_GROUP == IDC_FILE_GROUP &&
                  HALVEX_RC_IDC_FILE_NAME == IDC_FILE_NAME &&
                  HALVEX_RC_IDC_GREEN_COMP == IDC_GREEN_COMP,
              "resource script and dialog logic agree on the identifiers");

namespace {

// The view's context is the dialog's window handle itself.
HWND dialogOf(void* context) {
    return static_cast<HWND>(context);
}

LRESULT sendToControl(void* context, int32_t control, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(GetDlgItem(dialogOf(context), control), message, wParam, lParam);
}

void addDitherEntry(void* context, int32_t position, const char* text) {
    sendToControl(context, IDC_DITHER, CB_INSERTSTRING, static_cast<WPARAM>(position),
                  reinterpret_cast<LPARAM>(text));
}

void selectDither(void* context, int32_t position) {
    sendToControl(context, IDC_DITHER, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

void tickGreenCompensation(void* context) {
    sendToControl(context, IDC_GREEN_COMP, BM_SETCHECK, BST_CHECKED, 0);
}

int32_t readGreenCompensation(void* context) {
    return sendToControl(context, IDC_GREEN_COMP, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

int32_t readDitherSelection(void* context) {
    return static_cast<int32_t>(sendToControl(context, IDC_DITHER, CB_GETCURSEL, 0, 0));
}

void setFileNameText(void* context, const char* text) {
    sendToControl(context, IDC_FILE_NAME, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void showError(void* context, const char* text) {
    MessageBoxA(dialogOf(context), text, "Error", MB_OK);
}

void endDialog(void* context, int32_t value) {
    EndDialog(dialogOf(context), value);
}

} // namespace

MainDialogView windowsDialogView(HWND dialog) {
    MainDialogView view{};
    view.context = dialog;
    view.addDitherEntry = addDitherEntry;
    view.selectDither = selectDither;
    view.tickGreenCompensation = tickGreenCompensation;
    view.readGreenCompensation = readGreenCompensation;
    view.readDitherSelection = readDitherSelection;
    view.setFileNameText = setFileNameText;
    view.showError = showError;
    view.endDialog = endDialog;
    view.pickOpenFile = pickOpenFile;
    view.pickSaveFile = pickSaveFile;
    return view;
}

INT_PTR CALLBACK mainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    const MainDialogView view = windowsDialogView(dialog);
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(view);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            return onOk(view);
        case IDC_CANCEL_BUTTON:
            return onCancel(view);
        case IDC_BROWSE:
            return onBrowse(view);
        default:
            return 0; // IDCANCEL (Escape) among them: nothing happens
        }
    case WM_CLOSE:
        return onClose(view);
    case WM_SIZE:
        return 1; // the controls stay where the template put them
    default:
        return 0;
    }
}

void reportOutOfMemory(const char* what) {
    char text[160];
    snprintf(text, sizeof text, "Out of memory (%s). Halvex has to close.", what);
    MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(3);
}
