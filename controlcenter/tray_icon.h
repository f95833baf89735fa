// What the notification-area icon does with a mouse event or a new default
// entry of its menu, decided over the icon's state; CSystemTray carries it
// out with the system calls.
#ifndef TARVEX_CONTROLCENTER_TRAY_ICON_H
#define TARVEX_CONTROLCENTER_TRAY_ICON_H

#include <optional>

constexpr unsigned kLeftButtonDoubleClick = 0x203; // WM_LBUTTONDBLCLK
constexpr unsigned kRightButtonUp = 0x205;         // WM_RBUTTONUP

// An entry of the popup menu's submenu: a command id, or a position.
struct MenuEntry {
    unsigned item;
    bool byPosition;

    bool operator==(const MenuEntry &other) const
    {
        return item == other.item && byPosition == other.byPosition;
    }
};

struct TrayIconState {
    unsigned iconId = 0;            // the icon's id in the notification area
    MenuEntry menuDefault{0, true}; // the submenu's default entry
    bool hasSubmenu = false;        // the popup menu and its submenu are loaded
};

// The steps, in the order they are carried out.
struct TrayAction {
    std::optional<MenuEntry> markDefault; // make this the submenu's default entry
    bool openMenu = false; // the submenu at the cursor, its command for the main window
    std::optional<MenuEntry> sendCommand; // hand the main window this entry's command
    long result = 0; // the callback message's answer; SetDefaultCommand's as a boolean
};

// A callback message of the icon: the icon id from its first parameter, the
// mouse message in the low word of its second; 0 for another icon's event.
TrayAction IconEventAction(const TrayIconState &icon, unsigned iconId, unsigned mouseMessage);

// Stores the new default entry; the menu is touched only when it changes.
TrayAction ChangeDefaultCommand(TrayIconState &icon, MenuEntry entry);

#endif
