// The notification-area program: its application object runs the one dialog
// until the dialog's window is destroyed.
#include "control_center_dlg.h"

namespace
{

class CTarvexControlCenterApp
{
  public:
    // Always started minimized, whatever the show command asks.
    explicit CTarvexControlCenterApp(int showCommand) : dialog_(showCommand | 6) {}

    int Run();

  private:
    CTarvexControlCenterDlg dialog_;
};

// The system's own modal loop would show the dialog at its first idle moment
// whatever happened meanwhile, which undoes the hiding of its first
// messages; this loop shows it then only when it was not visible yet when the
// loop began.
int CTarvexControlCenterApp::Run()
{
    HWND window = dialog_.Create();
    if (window == nullptr)
        return 0;
    bool showWhenIdle = !IsWindowVisible(window);
    MSG message;
    for (;;) {
        if (showWhenIdle && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            ShowWindow(window, SW_SHOWNORMAL);
            showWhenIdle = false;
        }
        if (GetMessageA(&message, nullptr, 0, 0) <= 0)
            break;
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // A quit message from elsewhere ends the loop with the window still there.
    if (IsWindow(window))
        DestroyWindow(window);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand)
{
    CTarvexControlCenterApp app(showCommand);
    return app.Run();
}
