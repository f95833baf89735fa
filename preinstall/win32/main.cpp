// The installer launcher: one dialog to choose German, English or a patch,
// then the Windows Installer on the package that fits the running Windows.
#include "installer_command.h"
#include "preinstall_dlg.h"
#include "win32_helpers.h"

#include <commctrl.h>

#include <cstdlib>

namespace
{

// True when this 32-bit program runs on 64-bit Windows. The query is looked up
// at run time, since older Windows versions lack it.
bool RunsUnderWow64()
{
    using IsWow64ProcessFunction = BOOL(WINAPI *)(HANDLE, PBOOL);
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64Process != nullptr)
        isWow64Process(GetCurrentProcess(), &wow64);
    return wow64 != FALSE;
}

// Starts arguments[0], found under its own name and then along PATH, with
// the arguments joined as its command line; does not wait for it.
void StartWithoutWaiting(const std::vector<std::string> &arguments)
{
    const char *path = std::getenv("PATH");
    std::string searchPath = std::string(".;") + (path != nullptr ? path : "");
    char program[MAX_PATH];
    DWORD length = SearchPathA(searchPath.c_str(), arguments[0].c_str(), ".exe", sizeof program,
                               program, nullptr);
    if (length == 0 || length >= sizeof program)
        return;
    std::string commandLine = preinstall::JoinCommandLine(arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

// Nothing starts when the package path would be cut: a cut path names some
// other file.
void StartInstaller(int selection, bool wow64)
{
    std::optional<std::string> folder = ExecutableFolder();
    if (!folder)
        return;
    std::optional<std::string> package = preinstall::QuotedPackagePath(*folder, wow64);
    if (!package)
        return;
    StartWithoutWaiting(preinstall::InstallerArguments(selection, *package));
}

class CTarvexPreinstallApp
{
  public:
    int Run()
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        bool wow64 = RunsUnderWow64();
        CTarvexPreinstallDlg dialog;
        if (dialog.DoModal() == IDOK)
            StartInstaller(dialog.Selection(), wow64);
        return 0;
    }
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    CTarvexPreinstallApp app;
    return app.Run();
}
