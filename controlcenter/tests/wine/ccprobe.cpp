/*
 * ccprobe: looks into and drives TarvexControlCenter for the Wine tests.
 *
 *   ccprobe find CLASS TITLE          handle of a top-level window, hidden or
 *                                     not ("-": any); exit 1 when none
 *   ccprobe balloons                  the tool texts of the visible tooltip
 *                                     windows (the shell's balloons), read
 *                                     from the shell's memory; one a line
 *   ccprobe state HWND                "visible iconic" as 0/1 each
 *   ccprobe post HWND MSG WP LP       posts; MSG is a number or a registered
 *                                     message's name
 *   ccprobe text HWND ID              the control's text, bytes as they are
 *   ccprobe resources EXE             the menu, dialog and icon resources
 *   ccprobe addboard HWIDS DESC       registers a device of the boards' setup
 *                                     class; HWIDS separated by '|'
 *   ccprobe removeboard DESC          removes the devices with that description
 */
#include <windows.h>
#include <commctrl.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace
{

const GUID kBoardClass = {
    0x3E8F0C2A, 0x9B41, 0x4D67, {0xB5, 0xE2, 0x71, 0xC9, 0xA0, 0x4D, 0x8F, 0x13}};

HWND ParseWindow(const char *text)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text, nullptr, 16)));
}

const char *AnyOr(const char *text)
{
    return std::strcmp(text, "-") == 0 ? nullptr : text;
}

int Find(const char *className, const char *title)
{
    HWND window = FindWindowA(AnyOr(className), AnyOr(title));
    if (!window)
        return 1;
    std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return 0;
}

// A balloon's text lives in the process that shows it: the tool record and
// its text buffer are placed there for the tooltip to fill.
BOOL CALLBACK PrintBalloon(HWND window, LPARAM)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (!IsWindowVisible(window) || std::strcmp(name, TOOLTIPS_CLASSA) != 0)
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (!process)
        return TRUE;
    const SIZE_T kTextChars = 1024;
    auto *remote = static_cast<BYTE *>(
        VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOW) + kTextChars * sizeof(WCHAR),
                       MEM_COMMIT, PAGE_READWRITE));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.lpszText = reinterpret_cast<WCHAR *>(remote + sizeof tool);
    WCHAR text[kTextChars] = L"";
    if (remote && WriteProcessMemory(process, remote, &tool, sizeof tool, nullptr) &&
        WriteProcessMemory(process, remote + sizeof tool, text, sizeof(WCHAR), nullptr) &&
        SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(remote)) &&
        ReadProcessMemory(process, remote + sizeof tool, text, sizeof text - sizeof(WCHAR),
                          nullptr)) {
        char line[kTextChars * 2];
        WideCharToMultiByte(CP_ACP, 0, text, -1, line, sizeof line, nullptr, nullptr);
        for (char &c : line)
            if (c == '\n')
                c = '|';
        std::printf("%s\n", line);
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return TRUE;
}

int Post(HWND window, const char *message, const char *wParam, const char *lParam)
{
    char *end;
    UINT number = std::strtoul(message, &end, 0);
    if (*end)
        number = RegisterWindowMessageA(message);
    return PostMessageA(window, number, std::strtoull(wParam, nullptr, 0),
                        std::strtoll(lParam, nullptr, 0))
               ? 0
               : 1;
}

int Text(HWND window, int id)
{
    HWND control = GetDlgItem(window, id);
    LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> text(length + 1);
    SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(text.data(), 1, std::strlen(text.data()), stdout);
    return 0;
}

// The menu as "position id caption", separators as "position -"; the dialog
// template's header and first item; the icon group's image sizes.
int Resources(const char *exe)
{
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(130));
    if (!menu)
        return 1;
    char caption[256];
    GetMenuStringA(menu, 0, caption, sizeof caption, MF_BYPOSITION);
    std::printf("popup %s\n", caption);
    HMENU popup = GetSubMenu(menu, 0);
    for (int position = 0; position < GetMenuItemCount(popup); ++position) {
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.dwTypeData = caption;
        item.cch = sizeof caption;
        GetMenuItemInfoA(popup, position, TRUE, &item);
        if (item.fType & MFT_SEPARATOR)
            std::printf("item %d -\n", position);
        else
            std::printf("item %d %u %s\n", position, item.wID, caption);
    }

    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(102), MAKEINTRESOURCEA(5)); // RT_DIALOG
    auto *words = static_cast<const WORD *>(LockResource(LoadResource(module, found)));
    // DLGTEMPLATEEX: version, signature, help id, exstyle, style, items, x, y, cx, cy.
    DWORD exStyle, style;
    std::memcpy(&exStyle, words + 4, 4);
    std::memcpy(&style, words + 6, 4);
    std::printf("dialog style %08lx exstyle %08lx items %u size %u %u\n",
                static_cast<unsigned long>(style), static_cast<unsigned long>(exStyle), words[8],
                words[11], words[12]);
    const WORD *next = words + 13;
    auto skipText = [&next](const char *label) {
        if (*next == 0xFFFF) {
            if (label)
                std::printf("%s #%u\n", label, next[1]);
            next += 2;
            return;
        }
        std::string text;
        while (*next)
            text += static_cast<char>(*next++);
        ++next;
        if (label)
            std::printf("%s %s\n", label, text.c_str());
    };
    skipText(nullptr); // menu
    skipText(nullptr); // class
    skipText("title");
    std::printf("font %u", next[0]);
    next += 3; // point size, weight, italic and charset
    skipText("");
    next = reinterpret_cast<const WORD *>((reinterpret_cast<UINT_PTR>(next) + 3) & ~UINT_PTR(3));
    // DLGITEMTEMPLATEEX: help id, exstyle, style, x, y, cx, cy, id (32-bit), class.
    std::memcpy(&style, next + 4, 4);
    DWORD id;
    std::memcpy(&id, next + 10, 4);
    std::printf("control %lu style %08lx at %u %u size %u %u class", static_cast<unsigned long>(id),
                static_cast<unsigned long>(style), next[6], next[7], next[8], next[9]);
    next += 12;
    skipText("");

    found = FindResourceA(module, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
    auto *group = static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
    WORD count;
    std::memcpy(&count, group + 4, 2);
    for (int image = 0; image < count; ++image) {
        const BYTE *entry = group + 6 + 14 * image;
        WORD bits;
        std::memcpy(&bits, entry + 6, 2);
        std::printf("icon %u %u %u colours %u\n", entry[0], entry[1], bits, entry[2]);
    }
    return 0;
}

int AddBoard(const char *hardwareIds, const char *description)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kBoardClass, nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set, "TARVEXBOARD", &kBoardClass, description, nullptr,
                                  DICD_GENERATE_ID, &device))
        return 1;
    std::string ids = hardwareIds;
    for (char &c : ids)
        if (c == '|')
            c = '\0';
    ids += std::string(2, '\0');
    bool done = SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                                  reinterpret_cast<const BYTE *>(ids.data()),
                                                  static_cast<DWORD>(ids.size())) &&
                SetupDiSetDeviceRegistryPropertyA(
                    set, &device, SPDRP_DEVICEDESC, reinterpret_cast<const BYTE *>(description),
                    static_cast<DWORD>(std::strlen(description) + 1)) &&
                SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr);
    SetupDiDestroyDeviceInfoList(set);
    return done ? 0 : 1;
}

int RemoveBoard(const char *description)
{
    HDEVINFO set = SetupDiGetClassDevsA(&kBoardClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return 1;
    int removed = 0;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        char text[256] = "";
        SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_DEVICEDESC, nullptr,
                                          reinterpret_cast<BYTE *>(text), sizeof text, nullptr);
        if (std::strcmp(text, description) == 0 && SetupDiRemoveDevice(set, &device))
            ++removed;
    }
    SetupDiDestroyDeviceInfoList(set);
    return removed ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "find" && argc == 4)
        return Find(argv[2], argv[3]);
    if (command == "balloons" && argc == 2)
        return !EnumWindows(PrintBalloon, 0);
    if (command == "state" && argc == 3) {
        HWND window = ParseWindow(argv[2]);
        std::printf("%d %d\n", IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0);
        return IsWindow(window) ? 0 : 1;
    }
    if (command == "post" && argc == 6)
        return Post(ParseWindow(argv[2]), argv[3], argv[4], argv[5]);
    if (command == "text" && argc == 4)
        return Text(ParseWindow(argv[2]), std::atoi(argv[3]));
    if (command == "resources" && argc == 3)
        return Resources(argv[2]);
    if (command == "addboard" && argc == 4)
        return AddBoard(argv[2], argv[3]);
    if (command == "removeboard" && argc == 3)
        return RemoveBoard(argv[2]);
    std::fprintf(stderr, "usage: see the header of ccprobe.cpp\n");
    return 2;
}
