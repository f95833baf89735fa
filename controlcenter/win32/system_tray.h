// The program's icon in the notification area, its balloons and its popup
// menu, with a hidden window of its own for the icon's mouse events.
#ifndef TARVEX_CONTROLCENTER_WIN32_SYSTEM_TRAY_H
#define TARVEX_CONTROLCENTER_WIN32_SYSTEM_TRAY_H

#include <windows.h>
#include <shellapi.h>

#include "tray_icon.h"

class CSystemTray
{
  public:
    // Mouse commands go to mainWindow.
    explicit CSystemTray(HWND mainWindow);
    ~CSystemTray();
    CSystemTray(const CSystemTray &) = delete;
    CSystemTray &operator=(const CSystemTray &) = delete;

    // owner null: the icon's events go to our own hidden window. The popup
    // menu is the resource with the icon's id.
    bool Install(HWND owner, UINT callbackMessage, const char *tip, HICON icon, UINT iconId);
    void Uninstall();
    bool PostBalloon(const char *title, const char *text, DWORD iconKind, UINT timeoutSeconds);
    bool SetDefaultCommand(unsigned item, bool byPosition);
    // The entry's previous state, or -1 without a menu.
    int SetCommandState(UINT command, UINT flags);
    // What a double click on the icon sends, if the menu can tell it.
    std::optional<unsigned> DefaultCommand() const;
    // The icon's callback message: the icon id and the mouse message.
    LRESULT HandleIconEvent(unsigned iconId, unsigned mouseMessage);

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    long CarryOut(const TrayAction &action);
    unsigned CommandOf(MenuEntry entry) const;
    HMENU Submenu() const { return menu_ ? GetSubMenu(menu_, 0) : nullptr; }

    HWND mainWindow_;
    BOOL iconAdded_ = FALSE;
    NOTIFYICONDATAA iconData_{};
    HMENU menu_ = nullptr;
    HWND window_ = nullptr;
    TrayIconState state_;
};

#endif
