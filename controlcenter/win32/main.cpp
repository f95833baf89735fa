// The notification-area program: its application object runs the one dialog.
#include "control_center_dlg.h"

class CTarvexControlCenterApp : public CApp
{
  public:
    int InitInstance() override
    {
        SetShowCommand(ShowCommand() | 6); // always start minimized
        CTarvexControlCenterDlg dialog;
        dialog.RunModalLoop();
        return 0;
    }
};

CTarvexControlCenterApp theApp;
