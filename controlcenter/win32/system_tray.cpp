#include "system_tray.h"

#include <cstdio>

namespace
{

const char kWindowClass[] = "TarvexControlCenterTray";

// The record up to the balloon fields, as shells since version 5 take it.
constexpr DWORD kIconDataSize = NOTIFYICONDATAA_V2_SIZE;
static_assert(sizeof(void *) != 4 || kIconDataSize == 488, "version-2 record of a 32-bit program");

template <size_t N> void CopyBounded(char (&field)[N], const char *text)
{
    std::snprintf(field, N, "%s", text);
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly when already there
}

} // namespace

CSystemTray::CSystemTray(HWND mainWindow) : mainWindow_(mainWindow) {}

CSystemTray::~CSystemTray()
{
    Uninstall();
    if (window_)
        DestroyWindow(window_);
    if (menu_)
        DestroyMenu(menu_);
}

bool CSystemTray::Install(HWND owner, UINT callbackMessage, const char *tip, HICON icon,
                          UINT iconId)
{
    if (LOBYTE(LOWORD(GetVersion())) < 4) {
        iconAdded_ = FALSE;
        return false;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterWindowClass(instance, WindowProc);
    window_ = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              instance, this);

    iconData_.cbSize = kIconDataSize;
    iconData_.hWnd = owner ? owner : window_;
    iconData_.uCallbackMessage = callbackMessage;
    iconData_.uID = iconId;
    iconData_.hIcon = icon;
    iconData_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    CopyBounded(iconData_.szTip, tip);
    state_.iconId = iconId;

    menu_ = LoadMenuA(instance, MAKEINTRESOURCEA(iconId));
    if (!menu_) {
        iconAdded_ = FALSE;
        return false;
    }
    state_.hasSubmenu = Submenu() != nullptr;
    iconAdded_ = Shell_NotifyIconA(NIM_ADD, &iconData_);
    return iconAdded_;
}

void CSystemTray::Uninstall()
{
    if (!iconAdded_)
        return;
    iconData_.uFlags = 0;
    Shell_NotifyIconA(NIM_DELETE, &iconData_);
    iconAdded_ = FALSE;
}

bool CSystemTray::PostBalloon(const char *title, const char *text, DWORD iconKind,
                              UINT timeoutSeconds)
{
    if (!iconAdded_)
        return false;
    iconData_.uFlags |= NIF_INFO;
    iconData_.dwInfoFlags = iconKind;
    iconData_.uTimeout = timeoutSeconds * 1000;
    CopyBounded(iconData_.szInfoTitle, title);
    CopyBounded(iconData_.szInfo, text);
    return Shell_NotifyIconA(NIM_MODIFY, &iconData_);
}

bool CSystemTray::SetDefaultCommand(unsigned item, bool byPosition)
{
    return CarryOut(ChangeDefaultCommand(state_, {item, byPosition})) != 0;
}

int CSystemTray::SetCommandState(UINT command, UINT flags)
{
    HMENU submenu = Submenu();
    return submenu ? static_cast<int>(EnableMenuItem(submenu, command, flags)) : -1;
}

std::optional<unsigned> CSystemTray::DefaultCommand() const
{
    TrayAction doubleClick = IconEventAction(state_, state_.iconId, kLeftButtonDoubleClick);
    if (!doubleClick.sendCommand)
        return std::nullopt;
    return CommandOf(*doubleClick.sendCommand);
}

LRESULT CSystemTray::HandleIconEvent(unsigned iconId, unsigned mouseMessage)
{
    return CarryOut(IconEventAction(state_, iconId, mouseMessage));
}

long CSystemTray::CarryOut(const TrayAction &action)
{
    HMENU submenu = Submenu();
    if (action.markDefault)
        SetMenuDefaultItem(submenu, action.markDefault->item, action.markDefault->byPosition);
    if (action.openMenu) {
        POINT cursor;
        GetCursorPos(&cursor);
        SetForegroundWindow(mainWindow_);
        TrackPopupMenu(submenu, 0, cursor.x, cursor.y, 0, mainWindow_, nullptr);
        // Lets the menu close when the user clicks elsewhere.
        PostMessageA(mainWindow_, WM_NULL, 0, 0);
    }
    if (action.sendCommand) {
        unsigned command = CommandOf(*action.sendCommand);
        SetForegroundWindow(mainWindow_);
        SendMessageA(mainWindow_, WM_COMMAND, command, 0);
    }
    return action.result;
}

unsigned CSystemTray::CommandOf(MenuEntry entry) const
{
    return entry.byPosition ? GetMenuItemID(Submenu(), static_cast<int>(entry.item)) : entry.item;
}

LRESULT CALLBACK CSystemTray::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto *tray = reinterpret_cast<CSystemTray *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (tray && message == tray->iconData_.uCallbackMessage && message != 0)
        return tray->HandleIconEvent(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
    return DefWindowProcA(window, message, wParam, lParam);
}
