/*
 * Our thin Win32 dialog layer, shared by the GUI programs.
 *
 * Application object: derive from CApp, override InitInstance and define one
 * global instance. WinMain (Dialog.cpp) hands that instance the module handle
 * and show command and calls InitInstance, which does the program's whole
 * work, typically running one modal dialog; its result is the exit code.
 *
 *     class CMyApp : public CApp {
 *         int InitInstance() override { CMyDlg dlg; dlg.DoModal(); return 0; }
 *     };
 *     CMyApp theApp;
 *
 * Modal dialog: derive from CModalDialog with the dialog template's id. One
 * dialog procedure dispatches to the small virtual handlers below; every
 * handler's default does what the system's default dialog handling does, so
 * a dialog overrides only what it changes. DoDataExchange moves values
 * between controls and fields (UpdateData(false) runs in OnInitDialog,
 * UpdateData(true) in OnOK). OnMessage sees every message first, for those
 * without a handler of their own (system commands, device changes,
 * registered messages).
 */
#ifndef TARVEX_WIN32_DIALOG_H
#define TARVEX_WIN32_DIALOG_H

#include <windows.h>

#include <optional>
#include <string>

class CApp
{
  public:
    CApp();
    virtual ~CApp();
    CApp(const CApp &) = delete;
    CApp &operator=(const CApp &) = delete;

    // Runs the program; the result is the process's exit code.
    virtual int InitInstance() = 0;

    static CApp *Current() { return s_current; }
    HINSTANCE Instance() const { return m_instance; }
    int ShowCommand() const { return m_showCommand; }

  protected:
    void SetShowCommand(int showCommand) { m_showCommand = showCommand; }

  private:
    friend int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);
    static CApp *s_current;
    HINSTANCE m_instance = nullptr;
    int m_showCommand = SW_SHOWDEFAULT;
};

class CModalDialog
{
  public:
    explicit CModalDialog(int templateId) : m_templateId(templateId) {}
    virtual ~CModalDialog() = default;
    CModalDialog(const CModalDialog &) = delete;
    CModalDialog &operator=(const CModalDialog &) = delete;

    // Runs the dialog until EndDialog; answers its result (IDOK, IDCANCEL,
    // ...) or -1 when the dialog could not be created.
    INT_PTR DoModal(HWND parent = nullptr);
    // Like DoModal, with a message loop of our own that shows the dialog at
    // its first idle moment only when it was not visible yet when the loop
    // began. The system's loop shows it then whatever happened meanwhile,
    // which undoes a dialog that hides itself during its initialisation.
    INT_PTR RunModalLoop(HWND parent = nullptr);
    HWND Handle() const { return m_window; }

  protected:
    // Handlers. A handler that returns false (or a null handle) leaves the
    // message to the default dialog handling.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result);
    virtual bool OnInitDialog(); // true: the system focuses the first tab stop
    virtual bool OnCommand(int id, int notifyCode, HWND control);
    virtual void OnOK();
    virtual void OnCancel();
    virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT message);
    virtual bool OnPaint();
    virtual HICON OnQueryDragIcon();
    virtual void DoDataExchange(bool saveToFields);

    bool UpdateData(bool saveToFields);
    void EndDialog(INT_PTR result);
    void SetIcon(HICON icon); // large and small

    // Radio group whose first button is firstId: the checked button's index
    // (-1 when none) to value, or value's button checked.
    void ExchangeRadioGroup(int firstId, int &value, bool saveToFields);

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int m_templateId;
    HWND m_window = nullptr;
    bool m_ownLoop = false; // RunModalLoop: EndDialog ends our loop
    bool m_ended = false;
    INT_PTR m_result = IDCANCEL;
};

// Folder of the running executable without trailing separator (a drive root
// keeps its one). None when the path did not fit the system's 260-byte
// limit, since a cut path names some other folder.
std::optional<std::string> ExecutableFolder();

#endif
