// The program's icon in the notification area, its balloons and its popup
// menu, with a hidden window of its own for the icon's mouse events.
#ifndef CONTROLCENTER_SYSTEM_TRAY_H
#define CONTROLCENTER_SYSTEM_TRAY_H

#include <windows.h>
#include <shellapi.h>

#include "tray_icon.h"

class CSystemTray : public TrayIconLogic
{
  public:
    // Mouse commands go to mainWindow.
    explicit CSystemTray(HWND mainWindow);
    ~CSystemTray() override;
    CSystemTray(const CSystemTray &) = delete;
    CSystemTray &operator=(const CSystemTray &) = delete;

    // owner null: the icon's events go to our own hidden window. The popup
    // menu is the resource with the icon's id.
    bool Install(HWND owner, UINT callbackMessage, const char *tip, HICON icon, UINT iconId);
    void Uninstall();
    bool PostBalloon(const char *title, const char *text, DWORD iconKind, UINT timeoutSeconds);
    // The entry's previous state, or -1 without a menu.
    int SetCommandState(UINT command, UINT flags);

  protected:
    unsigned IconId() const override { return m_iconData.uID; }
    bool HasSubmenu() override { return Submenu() != nullptr; }
    void SetMenuDefault(unsigned item, bool byPosition) override;
    unsigned MenuItemId(unsigned position) override;
    void TrackMenu() override;
    void SendCommand(unsigned command) override;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HMENU Submenu() const { return m_menu ? GetSubMenu(m_menu, 0) : nullptr; }

    HWND m_mainWindow;
    BOOL m_iconAdded = FALSE;
    NOTIFYICONDATAA m_iconData{};
    HMENU m_menu = nullptr;
    HWND m_window = nullptr;
};

#endif
