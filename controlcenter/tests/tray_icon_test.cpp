#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "tray_icon.h"

namespace
{

class FakeTray : public TrayIconLogic
{
  public:
    bool hasSubmenu = true;
    std::vector<std::string> calls;

  protected:
    unsigned IconId() const override { return IDR_TRAY_MENU; }
    bool HasSubmenu() override { return hasSubmenu; }
    void SetMenuDefault(unsigned item, bool byPosition) override
    {
        calls.push_back("default " + std::to_string(item) + (byPosition ? " by position" : ""));
    }
    unsigned MenuItemId(unsigned position) override { return 32000 + position; }
    void TrackMenu() override { calls.push_back("menu"); }
    void SendCommand(unsigned command) override
    {
        calls.push_back("command " + std::to_string(command));
    }
};

TEST(TrayIcon, SetDefaultCommandTouchesTheMenuOnlyOnChange)
{
    FakeTray tray;
    EXPECT_TRUE(tray.SetDefaultCommand(0, true)); // as constructed
    EXPECT_TRUE(tray.SetDefaultCommand(ID_HELP_CHM, false));
    EXPECT_TRUE(tray.SetDefaultCommand(ID_HELP_CHM, false));
    EXPECT_EQ(tray.calls, (std::vector<std::string>{"default 32785"}));

    tray.hasSubmenu = false;
    EXPECT_FALSE(tray.SetDefaultCommand(3, true));
}

TEST(TrayIcon, MouseEvents)
{
    struct Case {
        unsigned iconId, message;
        bool hasSubmenu;
        long result;
        std::vector<std::string> calls;
    } cases[] = {
        {IDR_TRAY_MENU, 0x205, true, 1, {"default 32785", "menu"}},
        {IDR_TRAY_MENU, 0x12340205, true, 1, {"default 32785", "menu"}}, // low word counts
        {IDR_TRAY_MENU, 0x203, true, 1, {"command 32785"}},
        {IDR_TRAY_MENU, 0x201, true, 1, {}}, // left button down
        {IDR_TRAY_MENU, 0x202, true, 1, {}}, // left button up
        {IDR_TRAY_MENU, 0x204, true, 1, {}}, // right button down
        {IDR_TRAY_MENU, 0x200, true, 1, {}}, // mouse move
        {IDR_TRAY_MENU + 1, 0x205, true, 0, {}},
        {IDR_TRAY_MENU, 0x205, false, 0, {}},
    };
    for (const Case &c : cases) {
        FakeTray tray;
        tray.SetDefaultCommand(ID_HELP_CHM, false);
        tray.calls.clear();
        tray.hasSubmenu = c.hasSubmenu;
        EXPECT_EQ(tray.HandleIconEvent(c.iconId, c.message), c.result) << std::hex << c.message;
        EXPECT_EQ(tray.calls, c.calls) << std::hex << c.message;
    }
}

TEST(TrayIcon, DoubleClickByPositionAsksTheMenu)
{
    FakeTray tray;
    tray.SetDefaultCommand(8, true);
    tray.calls.clear();
    EXPECT_EQ(tray.HandleIconEvent(IDR_TRAY_MENU, 0x203), 1);
    EXPECT_EQ(tray.calls, (std::vector<std::string>{"command 32008"}));
    tray.hasSubmenu = false;
    EXPECT_EQ(tray.HandleIconEvent(IDR_TRAY_MENU, 0x203), 0);
}

} // namespace
