// The program's one dialog: hidden to the notification area nearly always,
// shown only with a fresh device report; it receives every menu command and
// the system's device-change notifications.
#ifndef TARVEX_CONTROLCENTER_WIN32_CONTROL_CENTER_DLG_H
#define TARVEX_CONTROLCENTER_WIN32_CONTROL_CENTER_DLG_H

#include <memory>

#include "menu_commands.h"
#include "platform.h"
#include "system_tray.h"
#include "usb_watcher.h"
#include "win32_helpers.h"

class CTarvexControlCenterDlg : private WatcherEvents
{
  public:
    // With bit 1 or 2 of the show command set (the application object sets
    // both), the dialog hides itself as soon as it runs.
    explicit CTarvexControlCenterDlg(int showCommand);

    // Creates the dialog window, modeless; null when that failed.
    HWND Create();

  private:
    friend INT_PTR CALLBACK DialogProcedure<CTarvexControlCenterDlg>(HWND, UINT, WPARAM, LPARAM);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Answer(LRESULT result); // for messages that answer through DWLP_MSGRESULT

    BOOL OnInitDialog(HWND window);
    void OnSysCommand(WPARAM command, LPARAM lParam);
    bool OnCommand(unsigned id);
    void OnHelp();
    void OnDestroy();
    void ApplyHiddenState();
    void Hide();
    void BuildDeviceReport();
    void ConfirmExit();

    // WatcherEvents
    void PostBalloon(const char *title, const char *text, unsigned iconKind,
                     unsigned timeoutSeconds) override;
    void RebuildReport() override { BuildDeviceReport(); }

    int showCommand_;
    HWND window_ = nullptr;
    HICON icon_;
    bool hidden_ = false;
    std::unique_ptr<CSystemTray> tray_;
    UINT callbackMessage_;
    SetupDiBoardEnumeration boards_;
    UsbWatcher watcher_{boards_, *this};
    Win32LaunchPlatform platform_;
    std::unique_ptr<MenuCommands> commands_;
};

#endif
