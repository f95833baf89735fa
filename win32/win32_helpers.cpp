#include "win32_helpers.h"

#include <shlwapi.h>

std::optional<std::string> ExecutableFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::nullopt;
    PathRemoveFileSpecA(path);
    return std::string(path);
}

HICON LoadProgramIcon(int iconId)
{
    return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId));
}

void SetWindowIcons(HWND window, HICON icon)
{
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}
