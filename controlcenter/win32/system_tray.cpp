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

CSystemTray::CSystemTray(HWND mainWindow) : m_mainWindow(mainWindow) {}

CSystemTray::~CSystemTray()
{
    Uninstall();
    if (m_window)
        DestroyWindow(m_window);
    if (m_menu)
        DestroyMenu(m_menu);
}

bool CSystemTray::Install(HWND owner, UINT callbackMessage, const char *tip, HICON icon,
                          UINT iconId)
{
    if (LOBYTE(LOWORD(GetVersion())) < 4) {
        m_iconAdded = FALSE;
        return false;
    }
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterWindowClass(instance, WindowProc);
    m_window = CreateWindowExA(0, kWindowClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               instance, this);

    m_iconData.cbSize = kIconDataSize;
    m_iconData.hWnd = owner ? owner : m_window;
    m_iconData.uCallbackMessage = callbackMessage;
    m_iconData.uID = iconId;
    m_iconData.hIcon = icon;
    m_iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    CopyBounded(m_iconData.szTip, tip);

    m_menu = LoadMenuA(instance, MAKEINTRESOURCEA(iconId));
    if (!m_menu) {
        m_iconAdded = FALSE;
        return false;
    }
    m_iconAdded = Shell_NotifyIconA(NIM_ADD, &m_iconData);
    return m_iconAdded;
}

void CSystemTray::Uninstall()
{
    if (!m_iconAdded)
        return;
    m_iconData.uFlags = 0;
    Shell_NotifyIconA(NIM_DELETE, &m_iconData);
    m_iconAdded = FALSE;
}

bool CSystemTray::PostBalloon(const char *title, const char *text, DWORD iconKind,
                              UINT timeoutSeconds)
{
    if (!m_iconAdded)
        return false;
    m_iconData.uFlags |= NIF_INFO;
    m_iconData.dwInfoFlags = iconKind;
    m_iconData.uTimeout = timeoutSeconds * 1000;
    CopyBounded(m_iconData.szInfoTitle, title);
    CopyBounded(m_iconData.szInfo, text);
    return Shell_NotifyIconA(NIM_MODIFY, &m_iconData);
}

int CSystemTray::SetCommandState(UINT command, UINT flags)
{
    HMENU submenu = Submenu();
    return submenu ? static_cast<int>(EnableMenuItem(submenu, command, flags)) : -1;
}

void CSystemTray::SetMenuDefault(unsigned item, bool byPosition)
{
    SetMenuDefaultItem(Submenu(), item, byPosition);
}

unsigned CSystemTray::MenuItemId(unsigned position)
{
    return GetMenuItemID(Submenu(), static_cast<int>(position));
}

void CSystemTray::TrackMenu()
{
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(m_mainWindow);
    TrackPopupMenu(Submenu(), 0, cursor.x, cursor.y, 0, m_mainWindow, nullptr);
    // Lets the menu close when the user clicks elsewhere.
    PostMessageA(m_mainWindow, WM_NULL, 0, 0);
}

void CSystemTray::SendCommand(unsigned command)
{
    SetForegroundWindow(m_mainWindow);
    SendMessageA(m_mainWindow, WM_COMMAND, command, 0);
}

LRESULT CALLBACK CSystemTray::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto *tray = reinterpret_cast<CSystemTray *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (tray && message == tray->m_iconData.uCallbackMessage && message != 0)
        return tray->HandleIconEvent(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
    return DefWindowProcA(window, message, wParam, lParam);
}
