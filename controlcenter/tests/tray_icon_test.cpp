#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "tray_icon.h"

namespace
{

std::string Describe(const MenuEntry &entry)
{
    return std::to_string(entry.item) + (entry.byPosition ? " by position" : "");
}

// The action's steps in the order CSystemTray carries them out.
std::vector<std::string> Steps(const TrayAction &action)
{
    std::vector<std::string> steps;
    if (action.markDefault)
        steps.push_back("default " + Describe(*action.markDefault));
    if (action.openMenu)
        steps.push_back("menu");
    if (action.sendCommand)
        steps.push_back("command " + Describe(*action.sendCommand));
    return steps;
}

TEST(TrayIcon, SetDefaultCommandTouchesTheMenuOnlyOnChange)
{
    TrayIconState icon; // as constructed: position 0
    icon.iconId = IDR_TRAY_MENU;
    icon.hasSubmenu = true;
    std::vector<std::string> steps;
    for (MenuEntry entry :
         {MenuEntry{0, true}, MenuEntry{ID_HELP_CHM, false}, MenuEntry{ID_HELP_CHM, false}}) {
        TrayAction action = ChangeDefaultCommand(icon, entry);
        EXPECT_EQ(action.result, 1) << Describe(entry);
        for (const std::string &step : Steps(action))
            steps.push_back(step);
    }
    EXPECT_EQ(steps, (std::vector<std::string>{"default 32785"}));

    icon.hasSubmenu = false;
    TrayAction action = ChangeDefaultCommand(icon, {3, true});
    EXPECT_EQ(action.result, 0);
    EXPECT_EQ(Steps(action), std::vector<std::string>{});
}

TEST(TrayIcon, MouseEvents)
{
    struct Case {
        unsigned iconId, message;
        bool hasSubmenu;
        long result;
        std::vector<std::string> steps;
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
        TrayIconState icon{IDR_TRAY_MENU, {ID_HELP_CHM, false}, c.hasSubmenu};
        TrayAction action = IconEventAction(icon, c.iconId, c.message);
        EXPECT_EQ(action.result, c.result) << std::hex << c.message;
        EXPECT_EQ(Steps(action), c.steps) << std::hex << c.message;
    }
}

// A default by position names a command only within the submenu, which
// CSystemTray asks for the entry's id.
TEST(TrayIcon, DoubleClickByPositionNeedsTheSubmenu)
{
    TrayIconState icon{IDR_TRAY_MENU, {8, true}, true};
    TrayAction action = IconEventAction(icon, IDR_TRAY_MENU, 0x203);
    EXPECT_EQ(action.result, 1);
    EXPECT_EQ(Steps(action), (std::vector<std::string>{"command 8 by position"}));
    icon.hasSubmenu = false;
    action = IconEventAction(icon, IDR_TRAY_MENU, 0x203);
    EXPECT_EQ(action.result, 0);
    EXPECT_EQ(Steps(action), std::vector<std::string>{});
}

} // namespace
