// What both Windows programs share: the folder of the running executable, the
// program icon, and the dialog procedure that hands a dialog's messages to
// its object.
#ifndef TARVEX_WIN32_HELPERS_H
#define TARVEX_WIN32_HELPERS_H

#include <windows.h>

#include <optional>
#include <string>

// Folder of the running executable without trailing separator (a drive root
// keeps its one). None when the path did not fit the system's 260-byte
// limit, since a cut path names some other folder.
std::optional<std::string> ExecutableFolder();

// The icon resource of the running program.
HICON LoadProgramIcon(int iconId);

// Makes the icon the window's large and small icon.
void SetWindowIcons(HWND window, HICON icon);

// The dialog procedure of a dialog object, for a dialog created with the
// object's address as its creation parameter (DialogBoxParamA,
// CreateDialogParamA). The object is kept with its window from WM_INITDIALOG
// on; it gets OnInitDialog(window) and then every message through
// HandleMessage(message, wParam, lParam), which answers as a dialog
// procedure does. The messages before WM_INITDIALOG (WM_SETFONT) go to the
// default dialog handling. Dialog befriends the procedure:
//
//     friend INT_PTR CALLBACK DialogProcedure<CMyDlg>(HWND, UINT, WPARAM, LPARAM);
template <class Dialog>
INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return reinterpret_cast<Dialog *>(lParam)->OnInitDialog(window);
    }
    auto *dialog = reinterpret_cast<Dialog *>(GetWindowLongPtrA(window, DWLP_USER));
    return dialog != nullptr ? dialog->HandleMessage(message, wParam, lParam) : FALSE;
}

#endif
