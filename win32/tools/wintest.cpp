/*
 * wintest: drives and inspects the windows of a program under test, from the
 * command line, for the Wine tests (see ../wine_harness.py). One command per
 * run; windows are named by their handle as printed by "wait" (hex).
 *
 *   wintest wait TITLE CLASS MS   first visible top-level window with that
 *                                 title and class ("-" matches any); prints
 *                                 its handle; exit 1 when none came in time
 *   wintest gone HWND MS          exit 0 once the window no longer exists
 *   wintest controls HWND         one line per child: id, class, style,
 *                                 left, top, width, height (client pixels),
 *                                 text; tab-separated
 *   wintest click HWND ID         clicks the button (BM_CLICK) and returns
 *                                 when the dialog has handled it
 *   wintest checked HWND ID       prints 1 when the button is checked
 *   wintest key HWND VK           presses and releases the virtual key
 *                                 (decimal) on the focused control of HWND's
 *                                 thread, as the keyboard would
 *   wintest focus HWND            prints the focused control's id
 *   wintest text HWND             prints the window's text
 *   wintest rect HWND             prints the window's left, top, width and
 *                                 height on the screen
 */
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

struct WindowQuery {
    const char *title;
    const char *className;
    HWND found;
};

bool Matches(const char *wanted, const char *actual)
{
    return std::strcmp(wanted, "-") == 0 || std::strcmp(wanted, actual) == 0;
}

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param)
{
    auto *query = reinterpret_cast<WindowQuery *>(param);
    char title[256] = "", className[256] = "";
    GetWindowTextA(window, title, sizeof title);
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && Matches(query->title, title) &&
        Matches(query->className, className)) {
        query->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND ParseWindow(const char *text)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(text, nullptr, 16)));
}

bool WaitFor(DWORD timeoutMs, bool (*done)(void *), void *context)
{
    DWORD start = GetTickCount();
    while (!done(context)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(50);
    }
    return true;
}

int Wait(const char *title, const char *className, DWORD timeoutMs)
{
    WindowQuery query{title, className, nullptr};
    auto found = [](void *context) {
        auto *q = static_cast<WindowQuery *>(context);
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(q));
        return q->found != nullptr;
    };
    if (!WaitFor(timeoutMs, found, &query))
        return 1;
    std::printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(query.found)));
    return 0;
}

int Gone(HWND window, DWORD timeoutMs)
{
    auto gone = [](void *context) {
        return !IsWindow(static_cast<HWND>(context));
    };
    return WaitFor(timeoutMs, gone, window) ? 0 : 1;
}

BOOL CALLBACK PrintControl(HWND control, LPARAM parent)
{
    char className[256] = "", text[1024] = "";
    GetClassNameA(control, className, sizeof className);
    GetWindowTextA(control, text, sizeof text);
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT *>(&rect), 2);
    std::printf("%d\t%s\t%08lx\t%ld\t%ld\t%ld\t%ld\t%s\n", GetDlgCtrlID(control), className,
                static_cast<unsigned long>(GetWindowLongA(control, GWL_STYLE)), rect.left, rect.top,
                rect.right - rect.left, rect.bottom - rect.top, text);
    return TRUE;
}

HWND FocusedControl(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

int Key(HWND window, UINT key)
{
    HWND target = FocusedControl(window);
    if (target == nullptr)
        target = window;
    UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
    PostMessageA(target, WM_KEYDOWN, key, 1 | scan << 16);
    PostMessageA(target, WM_KEYUP, key, 1 | scan << 16 | 3u << 30);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "wait" && argc == 5)
        return Wait(argv[2], argv[3], std::strtoul(argv[4], nullptr, 10));
    if (command == "gone" && argc == 4)
        return Gone(ParseWindow(argv[2]), std::strtoul(argv[3], nullptr, 10));
    if (command == "controls" && argc == 3) {
        HWND window = ParseWindow(argv[2]);
        EnumChildWindows(window, PrintControl, reinterpret_cast<LPARAM>(window));
        return 0;
    }
    if (command == "click" && argc == 4) {
        SendMessageA(GetDlgItem(ParseWindow(argv[2]), std::atoi(argv[3])), BM_CLICK, 0, 0);
        return 0;
    }
    if (command == "checked" && argc == 4) {
        HWND button = GetDlgItem(ParseWindow(argv[2]), std::atoi(argv[3]));
        std::printf("%d\n", SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        return 0;
    }
    if (command == "key" && argc == 4)
        return Key(ParseWindow(argv[2]), std::strtoul(argv[3], nullptr, 10));
    if (command == "focus" && argc == 3) {
        std::printf("%d\n", GetDlgCtrlID(FocusedControl(ParseWindow(argv[2]))));
        return 0;
    }
    if (command == "text" && argc == 3) {
        char text[4096] = "";
        GetWindowTextA(ParseWindow(argv[2]), text, sizeof text);
        std::printf("%s\n", text);
        return 0;
    }
    if (command == "rect" && argc == 3) {
        RECT rect;
        GetWindowRect(ParseWindow(argv[2]), &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top);
        return 0;
    }
    std::fprintf(stderr, "usage: see the header of wintest.cpp\n");
    return 2;
}
