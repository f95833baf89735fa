#include "preinstall_dlg.h"

#include "resource.h"

namespace
{

constexpr COLORREF kWhite = RGB(255, 255, 255);

// The choices' radio buttons, in the order of the selections.
static_assert(IDC_ENGLISH == IDC_GERMAN + preinstall::kEnglish &&
                  IDC_PATCH == IDC_GERMAN + preinstall::kPatch,
              "one radio button a selection, in order");

void ShowSelection(HWND window, int selection)
{
    CheckRadioButton(window, IDC_GERMAN, IDC_PATCH, IDC_GERMAN + selection);
}

// The checked button's selection; -1 when none is checked.
int CheckedSelection(HWND window)
{
    int selection = -1;
    for (int id = IDC_GERMAN; id <= IDC_PATCH; ++id)
        if (IsDlgButtonChecked(window, id) == BST_CHECKED)
            selection = id - IDC_GERMAN;
    return selection;
}

} // namespace

CTarvexPreinstallDlg::CTarvexPreinstallDlg() : icon_(LoadProgramIcon(IDR_MAINFRAME)) {}

CTarvexPreinstallDlg::~CTarvexPreinstallDlg()
{
    if (background_ != nullptr)
        DeleteObject(background_);
}

INT_PTR CTarvexPreinstallDlg::DoModal()
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TARVEXPREINSTALL_DIALOG),
                           nullptr, DialogProcedure<CTarvexPreinstallDlg>,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CTarvexPreinstallDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam));
    // The dialog and every control on white, so the radio texts stand on the
    // white part of the picture. These answer with the brush itself.
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
        SetBkColor(reinterpret_cast<HDC>(wParam), kWhite);
        return reinterpret_cast<INT_PTR>(background_);
    case WM_PAINT:
        OnPaint();
        return TRUE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon_);
    default:
        return FALSE;
    }
}

// TRUE: the system focuses the first tab stop, the OK button.
BOOL CTarvexPreinstallDlg::OnInitDialog(HWND window)
{
    window_ = window;
    ShowSelection(window_, selection_);
    background_ = CreateSolidBrush(kWhite);
    SetWindowIcons(window_, icon_);
    return TRUE;
}

bool CTarvexPreinstallDlg::OnCommand(unsigned id)
{
    switch (id) {
    case IDOK:
        selection_ = CheckedSelection(window_);
        EndDialog(window_, IDOK);
        return true;
    case IDCANCEL:
        EndDialog(window_, IDCANCEL);
        return true;
    default:
        return false;
    }
}

void CTarvexPreinstallDlg::OnPaint()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    RECT client;
    GetClientRect(window_, &client);
    if (IsIconic(window_)) {
        SendMessageA(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, icon_);
    } else {
        FillRect(dc, &client, background_);
    }
    EndPaint(window_, &paint);
}
