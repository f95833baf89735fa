#include "control_center_dlg.h"

#include <dbt.h>

#include "device_report.h"
#include "resource.h"

namespace
{
const char kTip[] = "Tarvex Control Center";
const char kExitQuestion[] = "This will remove Tarvex Control Center from the task bar!";
} // namespace

CTarvexControlCenterDlg::CTarvexControlCenterDlg()
    : CModalDialog(IDD_CONTROLCENTER),
      m_icon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAM))),
      m_callbackMessage(RegisterWindowMessageA("TarvexControlCenter tray notification"))
{
}

bool CTarvexControlCenterDlg::OnInitDialog()
{
    CModalDialog::OnInitDialog();
    SetIcon(m_icon);
    m_platform.SetMessageOwner(Handle());

    m_tray = std::make_unique<CSystemTray>(Handle());
    m_tray->Install(nullptr, m_callbackMessage, kTip, m_icon, IDR_TRAY_MENU);
    m_tray->SetDefaultCommand(ID_HELP_CHM, false);

    m_commands = std::make_unique<MenuCommands>(m_platform, ExecutableFolder().value_or(""));
    for (unsigned command : m_commands->ReadApplicationPaths())
        m_tray->SetCommandState(command, MF_BYCOMMAND | MF_GRAYED);

    // Started minimized, always: the dialog hides as soon as it runs.
    if (CApp::Current()->ShowCommand() & 6)
        PostMessageA(Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);

    m_watcher.TakeFirstList();
    return true;
}

bool CTarvexControlCenterDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    result = 0;
    switch (message) {
    case WM_SYSCOMMAND:
        OnSysCommand(wParam, lParam);
        return true;
    case WM_DEVICECHANGE:
        result = m_watcher.HandleDeviceChange();
        return true;
    case WM_HELP:
        // F1 does what a double click on the icon does.
        if (auto command = m_tray ? m_tray->DefaultCommand() : std::nullopt)
            OnCommand(static_cast<int>(*command), 0, nullptr);
        result = TRUE;
        return true;
    case WM_DESTROY:
        // Also when destroyed from outside: the icon goes, then the program.
        m_hidden = false;
        m_tray.reset();
        EndDialog(IDCANCEL);
        return true;
    default:
        return false;
    }
}

void CTarvexControlCenterDlg::OnSysCommand(WPARAM command, LPARAM lParam)
{
    bool wasHidden = m_hidden;
    if (command == SC_MINIMIZE)
        m_hidden = true;
    else if (command == SC_RESTORE)
        m_hidden = false;
    DefWindowProcA(Handle(), WM_SYSCOMMAND, command, lParam);
    if (m_hidden != wasHidden)
        ApplyHiddenState();
}

void CTarvexControlCenterDlg::ApplyHiddenState()
{
    if (m_hidden) {
        ShowWindow(Handle(), SW_HIDE);
        return;
    }
    BuildDeviceReport();
    ShowWindow(Handle(), SW_SHOW);
}

void CTarvexControlCenterDlg::Hide()
{
    m_hidden = true;
    ShowWindow(Handle(), SW_HIDE);
}

bool CTarvexControlCenterDlg::OnCommand(int id, int notifyCode, HWND control)
{
    switch (id) {
    case ID_OPEN_CONTROL_CENTER:
        BuildDeviceReport();
        ShowWindow(Handle(), SW_RESTORE);
        m_hidden = false;
        ShowWindow(Handle(), SW_SHOW);
        return true;
    case ID_CLOSE_CONTROL_CENTER:
        if (!m_hidden)
            Hide();
        return true;
    case ID_CLOSE_MENU:
        return true;
    case ID_EXIT:
        ConfirmExit();
        return true;
    default:
        return (m_commands && m_commands->Execute(id)) ||
               CModalDialog::OnCommand(id, notifyCode, control);
    }
}

void CTarvexControlCenterDlg::ConfirmExit()
{
    if (MessageBoxA(Handle(), kExitQuestion, ProgramName().c_str(),
                    MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK)
        EndDialog(IDCANCEL);
}

// Enter on the visible dialog hides it like Escape; only Exit ends the program.
void CTarvexControlCenterDlg::OnOK()
{
    OnCancel();
}

void CTarvexControlCenterDlg::OnCancel()
{
    Hide();
}

void CTarvexControlCenterDlg::BuildDeviceReport()
{
    const DriverApi *api = BindDriverLibrary();
    SetDlgItemTextA(Handle(), IDC_REPORT,
                    api ? BuildReportText(*api).c_str() : kDriverLibraryMissing);
}

void CTarvexControlCenterDlg::PostBalloon(const char *title, const char *text, unsigned iconKind,
                                          unsigned timeoutSeconds)
{
    if (m_tray)
        m_tray->PostBalloon(title, text, iconKind, timeoutSeconds);
}
