// What the notification-area icon does with mouse events and the menu's
// default entry, apart from the system calls that carry it out.
#ifndef CONTROLCENTER_TRAY_ICON_H
#define CONTROLCENTER_TRAY_ICON_H

#include <optional>

class TrayIconLogic
{
  public:
    enum : unsigned { kLeftDoubleClick = 0x203, kRightButtonUp = 0x205 };

    virtual ~TrayIconLogic() = default;

    // The mouse message arrives in the low word; 0 for another icon's event.
    virtual long HandleIconEvent(unsigned iconId, unsigned mouseMessage);
    bool SetDefaultCommand(unsigned item, bool byPosition);
    // The command of the default entry, if the menu can tell it.
    std::optional<unsigned> DefaultCommand();

  protected:
    virtual unsigned IconId() const = 0;
    virtual bool HasSubmenu() = 0;
    virtual void SetMenuDefault(unsigned item, bool byPosition) = 0;
    virtual unsigned MenuItemId(unsigned position) = 0;
    // Brings the main window forward, opens the submenu at the cursor with
    // the main window as owner and nudges it so the menu closes properly.
    virtual void TrackMenu() = 0;
    // Brings the main window forward and hands it the command at once.
    virtual void SendCommand(unsigned command) = 0;

  private:
    unsigned defaultCommand_ = 0;
    bool defaultByPosition_ = true;
};

#endif
