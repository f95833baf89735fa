#include "control_center_dlg.h"

#include "device_report.h"
#include "resource.h"

namespace
{
const char kTip[] = "Tarvex Control Center";
const char kExitQuestion[] = "This will remove Tarvex Control Center from the task bar!";
} // namespace

CTarvexControlCenterDlg::CTarvexControlCenterDlg(int showCommand)
    : showCommand_(showCommand), icon_(LoadProgramIcon(IDI_PROGRAM)),
      callbackMessage_(RegisterWindowMessageA("TarvexControlCenter tray notification"))
{
}

HWND CTarvexControlCenterDlg::Create()
{
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONTROLCENTER),
                              nullptr, DialogProcedure<CTarvexControlCenterDlg>,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR CTarvexControlCenterDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        OnSysCommand(wParam, lParam);
        return Answer(0);
    case WM_DEVICECHANGE:
        return Answer(watcher_.HandleDeviceChange());
    case WM_HELP:
        OnHelp();
        return Answer(TRUE);
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam));
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon_);
    case WM_DESTROY:
        OnDestroy();
        return Answer(0);
    default:
        return FALSE;
    }
}

INT_PTR CTarvexControlCenterDlg::Answer(LRESULT result)
{
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

BOOL CTarvexControlCenterDlg::OnInitDialog(HWND window)
{
    window_ = window;
    SetWindowIcons(window_, icon_);
    platform_.SetMessageOwner(window_);

    tray_ = std::make_unique<CSystemTray>(window_);
    tray_->Install(nullptr, callbackMessage_, kTip, icon_, IDR_TRAY_MENU);
    tray_->SetDefaultCommand(ID_HELP_CHM, false);

    commands_ = std::make_unique<MenuCommands>(platform_, ExecutableFolder().value_or(""));
    for (unsigned command : commands_->ReadApplicationPaths())
        tray_->SetCommandState(command, MF_BYCOMMAND | MF_GRAYED);

    if (showCommand_ & 6)
        PostMessageA(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);

    watcher_.TakeFirstList();
    return TRUE;
}

void CTarvexControlCenterDlg::OnSysCommand(WPARAM command, LPARAM lParam)
{
    bool wasHidden = hidden_;
    if (command == SC_MINIMIZE)
        hidden_ = true;
    else if (command == SC_RESTORE)
        hidden_ = false;
    DefWindowProcA(window_, WM_SYSCOMMAND, command, lParam);
    if (hidden_ != wasHidden)
        ApplyHiddenState();
}

void CTarvexControlCenterDlg::ApplyHiddenState()
{
    if (hidden_) {
        ShowWindow(window_, SW_HIDE);
        return;
    }
    BuildDeviceReport();
    ShowWindow(window_, SW_SHOW);
}

void CTarvexControlCenterDlg::Hide()
{
    hidden_ = true;
    ShowWindow(window_, SW_HIDE);
}

bool CTarvexControlCenterDlg::OnCommand(unsigned id)
{
    switch (id) {
    case ID_OPEN_CONTROL_CENTER:
        BuildDeviceReport();
        ShowWindow(window_, SW_RESTORE);
        hidden_ = false;
        ShowWindow(window_, SW_SHOW);
        return true;
    case ID_CLOSE_CONTROL_CENTER:
        if (!hidden_)
            Hide();
        return true;
    case ID_CLOSE_MENU:
        return true;
    case ID_EXIT:
        ConfirmExit();
        return true;
    // Enter on the visible dialog hides it like Escape and the close box;
    // only Exit ends the program.
    case IDOK:
    case IDCANCEL:
        Hide();
        return true;
    default:
        return commands_ && commands_->Execute(id);
    }
}

// F1 does what a double click on the icon does.
void CTarvexControlCenterDlg::OnHelp()
{
    if (auto command = tray_ ? tray_->DefaultCommand() : std::nullopt)
        OnCommand(*command);
}

void CTarvexControlCenterDlg::ConfirmExit()
{
    if (MessageBoxA(window_, kExitQuestion, ProgramName().c_str(),
                    MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK)
        DestroyWindow(window_);
}

// Also when the window is destroyed from outside: the icon goes, then the
// program.
void CTarvexControlCenterDlg::OnDestroy()
{
    hidden_ = false;
    tray_.reset();
    PostQuitMessage(0);
}

void CTarvexControlCenterDlg::BuildDeviceReport()
{
    const DriverApi *api = BindDriverLibrary();
    SetDlgItemTextA(window_, IDC_REPORT,
                    api ? BuildReportText(*api).c_str() : kDriverLibraryMissing);
}

void CTarvexControlCenterDlg::PostBalloon(const char *title, const char *text, unsigned iconKind,
                                          unsigned timeoutSeconds)
{
    if (tray_)
        tray_->PostBalloon(title, text, iconKind, timeoutSeconds);
}
