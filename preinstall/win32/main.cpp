// The installer launcher: one dialog to choose German, English or a patch,
// then the Windows Installer on the package that fits the running Windows.
#include "Dialog.h"
#include "installer_command.h"
#include "resource.h"

#include <commctrl.h>

#include <cstdlib>

namespace
{

constexpr COLORREF kWhite = RGB(255, 255, 255);

class CTarvexPreinstallDlg : public CModalDialog
{
  public:
    CTarvexPreinstallDlg()
        : CModalDialog(IDD_TARVEXPREINSTALL_DIALOG),
          m_icon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)))
    {
    }
    ~CTarvexPreinstallDlg() override
    {
        if (m_background != nullptr)
            DeleteObject(m_background);
    }

    int Selection() const { return m_selection; }

  protected:
    bool OnInitDialog() override
    {
        CModalDialog::OnInitDialog();
        m_background = CreateSolidBrush(kWhite);
        SetIcon(m_icon);
        return true;
    }

    void DoDataExchange(bool saveToFields) override
    {
        ExchangeRadioGroup(IDC_GERMAN, m_selection, saveToFields);
    }

    // The dialog and every control on white, so the radio texts stand on the
    // white part of the picture.
    HBRUSH OnCtlColor(HDC dc, HWND, UINT) override
    {
        SetBkColor(dc, kWhite);
        return m_background;
    }

    bool OnPaint() override
    {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(Handle(), &paint);
        RECT client;
        GetClientRect(Handle(), &client);
        if (IsIconic(Handle())) {
            SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
            int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
            DrawIcon(dc, x, y, m_icon);
        } else {
            FillRect(dc, &client, m_background);
        }
        EndPaint(Handle(), &paint);
        return true;
    }

    HICON OnQueryDragIcon() override { return m_icon; }

  private:
    HICON m_icon;
    int m_selection = preinstall::kGerman;
    HBRUSH m_background = nullptr;
};

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

class CTarvexPreinstallApp : public CApp
{
  public:
    int InitInstance() override
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

CTarvexPreinstallApp theApp;

} // namespace
