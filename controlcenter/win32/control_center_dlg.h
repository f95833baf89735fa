// The program's one dialog: hidden to the notification area nearly always,
// shown only with a fresh device report; it receives every menu command and
// the system's device-change notifications.
#ifndef CONTROLCENTER_CONTROL_CENTER_DLG_H
#define CONTROLCENTER_CONTROL_CENTER_DLG_H

#include <memory>

#include "Dialog.h"
#include "menu_commands.h"
#include "platform.h"
#include "system_tray.h"
#include "usb_watcher.h"

class CTarvexControlCenterDlg : public CModalDialog, private WatcherEvents
{
  public:
    CTarvexControlCenterDlg();

  protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) override;
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    void OnOK() override;
    void OnCancel() override;
    HICON OnQueryDragIcon() override { return m_icon; }

  private:
    void OnSysCommand(WPARAM command, LPARAM lParam);
    void ApplyHiddenState();
    void Hide();
    void BuildDeviceReport();
    void ConfirmExit();

    // WatcherEvents
    void PostBalloon(const char *title, const char *text, unsigned iconKind,
                     unsigned timeoutSeconds) override;
    void RebuildReport() override { BuildDeviceReport(); }

    HICON m_icon;
    bool m_hidden = false;
    std::unique_ptr<CSystemTray> m_tray;
    UINT m_callbackMessage;
    SetupDiBoardEnumeration m_boards;
    UsbWatcher m_watcher{m_boards, *this};
    Win32LaunchPlatform m_platform;
    std::unique_ptr<MenuCommands> m_commands;
};

#endif
