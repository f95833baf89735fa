// The application object's entry and the modal dialog's one procedure.
#include "Dialog.h"

#include <shlwapi.h>

CApp *CApp::s_current = nullptr;

CApp::CApp()
{
    s_current = this;
}

CApp::~CApp()
{
    s_current = nullptr;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    CApp *app = CApp::Current();
    if (app == nullptr)
        return 1;
    app->m_instance = instance;
    app->m_showCommand = showCommand;
    return app->InitInstance();
}

INT_PTR CModalDialog::DoModal(HWND parent)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), parent,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CModalDialog::RunModalLoop(HWND parent)
{
    m_ownLoop = true;
    m_ended = false;
    m_result = IDCANCEL;
    HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId),
                                     parent, DialogProc, reinterpret_cast<LPARAM>(this));
    if (window == nullptr)
        return -1;
    if (parent != nullptr)
        EnableWindow(parent, FALSE);
    bool showWhenIdle = !IsWindowVisible(window);
    MSG message;
    while (!m_ended) {
        if (showWhenIdle && !PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            ShowWindow(window, SW_SHOWNORMAL);
            showWhenIdle = false;
        }
        if (GetMessageA(&message, nullptr, 0, 0) <= 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!IsDialogMessageA(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (parent != nullptr)
        EnableWindow(parent, TRUE);
    if (IsWindow(window))
        DestroyWindow(window);
    return m_result;
}

INT_PTR CALLBACK CModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<CModalDialog *>(lParam)->m_window = window;
    }
    auto *dialog = reinterpret_cast<CModalDialog *>(GetWindowLongPtrA(window, DWLP_USER));
    // Messages before WM_INITDIALOG (WM_SETFONT) go to the default handling.
    if (dialog == nullptr)
        return FALSE;
    INT_PTR handled = dialog->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        dialog->m_window = nullptr;
    return handled;
}

INT_PTR CModalDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) {
        SetWindowLongPtrA(m_window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
        // These answer with the brush itself, not through DWLP_MSGRESULT.
        return reinterpret_cast<INT_PTR>(
            OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message));
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    default:
        return FALSE;
    }
}

bool CModalDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT &)
{
    return false;
}

bool CModalDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

bool CModalDialog::OnCommand(int id, int, HWND)
{
    switch (id) {
    case IDOK:
        OnOK();
        return true;
    case IDCANCEL:
        OnCancel();
        return true;
    default:
        return false;
    }
}

void CModalDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CModalDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

HBRUSH CModalDialog::OnCtlColor(HDC, HWND, UINT)
{
    return nullptr;
}

bool CModalDialog::OnPaint()
{
    return false;
}

HICON CModalDialog::OnQueryDragIcon()
{
    return nullptr;
}

void CModalDialog::DoDataExchange(bool) {}

bool CModalDialog::UpdateData(bool saveToFields)
{
    DoDataExchange(saveToFields);
    return true;
}

void CModalDialog::EndDialog(INT_PTR result)
{
    if (!m_ownLoop) {
        ::EndDialog(m_window, result);
        return;
    }
    m_ended = true;
    m_result = result;
    PostMessageA(m_window, WM_NULL, 0, 0); // wakes the loop to see it
}

void CModalDialog::SetIcon(HICON icon)
{
    SendMessageA(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

static bool IsRadioButton(HWND control)
{
    char className[16];
    if (GetClassNameA(control, className, sizeof className) == 0 ||
        lstrcmpiA(className, "Button") != 0)
        return false;
    LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

void CModalDialog::ExchangeRadioGroup(int firstId, int &value, bool saveToFields)
{
    HWND first = GetDlgItem(m_window, firstId);
    if (saveToFields)
        value = -1;
    int index = 0;
    // The group runs from its first button up to the next control that
    // starts a group of its own.
    for (HWND control = first; control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        if (control != first && (GetWindowLongA(control, GWL_STYLE) & WS_GROUP))
            break;
        if (!IsRadioButton(control))
            continue;
        if (saveToFields) {
            if (SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED)
                value = index;
        } else {
            SendMessageA(control, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++index;
    }
}

std::optional<std::string> ExecutableFolder()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::nullopt;
    PathRemoveFileSpecA(path);
    return std::string(path);
}
