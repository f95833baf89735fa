#include "tray_icon.h"

TrayAction IconEventAction(const TrayIconState &icon, unsigned iconId, unsigned mouseMessage)
{
    TrayAction action;
    if (iconId != icon.iconId)
        return action;
    switch (mouseMessage & 0xFFFF) {
    case kRightButtonUp:
        if (!icon.hasSubmenu)
            return action;
        action.markDefault = icon.menuDefault;
        action.openMenu = true;
        break;
    case kLeftButtonDoubleClick:
        // A position names a command only within the submenu.
        if (icon.menuDefault.byPosition && !icon.hasSubmenu)
            return action;
        action.sendCommand = icon.menuDefault;
        break;
    }
    action.result = 1;
    return action;
}

TrayAction ChangeDefaultCommand(TrayIconState &icon, MenuEntry entry)
{
    TrayAction action;
    action.result = 1;
    if (entry == icon.menuDefault)
        return action;
    icon.menuDefault = entry;
    if (!icon.hasSubmenu) {
        action.result = 0;
        return action;
    }
    action.markDefault = entry;
    return action;
}
