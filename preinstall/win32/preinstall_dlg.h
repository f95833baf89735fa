// The launcher's one dialog: the picture and the three choices on white, OK
// and Cancel.
#ifndef TARVEX_PREINSTALL_WIN32_PREINSTALL_DLG_H
#define TARVEX_PREINSTALL_WIN32_PREINSTALL_DLG_H

#include <windows.h>

#include "installer_command.h"
#include "win32_helpers.h"

class CTarvexPreinstallDlg
{
  public:
    CTarvexPreinstallDlg();
    ~CTarvexPreinstallDlg();
    CTarvexPreinstallDlg(const CTarvexPreinstallDlg &) = delete;
    CTarvexPreinstallDlg &operator=(const CTarvexPreinstallDlg &) = delete;

    // Runs the dialog to its end: IDOK, IDCANCEL, or -1 when it could not be
    // created.
    INT_PTR DoModal();
    // The choice the user confirmed with OK.
    int Selection() const { return selection_; }

  private:
    friend INT_PTR CALLBACK DialogProcedure<CTarvexPreinstallDlg>(HWND, UINT, WPARAM, LPARAM);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    BOOL OnInitDialog(HWND window);
    bool OnCommand(unsigned id);
    void OnPaint();

    HWND window_ = nullptr;
    HICON icon_;
    int selection_ = preinstall::kGerman;
    HBRUSH background_ = nullptr;
};

#endif
