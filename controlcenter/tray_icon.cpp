#include "tray_icon.h"

long TrayIconLogic::HandleIconEvent(unsigned iconId, unsigned mouseMessage)
{
    if (iconId != IconId())
        return 0;
    switch (mouseMessage & 0xFFFF) {
    case kRightButtonUp:
        if (!HasSubmenu())
            return 0;
        SetMenuDefault(defaultCommand_, defaultByPosition_);
        TrackMenu();
        break;
    case kLeftDoubleClick:
        if (auto command = DefaultCommand())
            SendCommand(*command);
        else
            return 0;
        break;
    }
    return 1;
}

bool TrayIconLogic::SetDefaultCommand(unsigned item, bool byPosition)
{
    if (item == defaultCommand_ && byPosition == defaultByPosition_)
        return true;
    defaultCommand_ = item;
    defaultByPosition_ = byPosition;
    if (!HasSubmenu())
        return false;
    SetMenuDefault(item, byPosition);
    return true;
}

std::optional<unsigned> TrayIconLogic::DefaultCommand()
{
    if (!defaultByPosition_)
        return defaultCommand_;
    if (!HasSubmenu())
        return std::nullopt;
    return MenuItemId(defaultCommand_);
}
