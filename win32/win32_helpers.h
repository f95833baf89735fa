// What both Windows programs share: the folder of the running executable, the
// program icon, and the tie between a dialog window and its object.
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

// The object of a dialog created with its address as the creation parameter
// (DialogBoxParamA, CreateDialogParamA): kept with the window from
// WM_INITDIALOG on; null for the messages before it (WM_SETFONT), which go
// to the default dialog handling.
template <class Dialog> Dialog *DialogObject(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(window, DWLP_USER, lParam);
    return reinterpret_cast<Dialog *>(GetWindowLongPtrA(window, DWLP_USER));
}

#endif
