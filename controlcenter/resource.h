// Resource and command identifiers: shared by the resource script and the
// Win32 layer in win32/ and by the portable menu commands, which dispatch on
// the command ids.
#ifndef TARVEX_CONTROLCENTER_RESOURCE_H
#define TARVEX_CONTROLCENTER_RESOURCE_H

#define IDI_PROGRAM 128
#define IDD_CONTROLCENTER 102
#define IDC_REPORT 1001
// The popup menu's resource id is also the icon's id in the notification area.
#define IDR_TRAY_MENU 130

#define ID_OPEN_CONTROL_CENTER 32771
#define ID_EXIT 32772
#define ID_QUENDA 32778
#define ID_TRACE 32779
#define ID_MANUAL_ENGLISH 32780
#define ID_MANUAL_GERMAN 32781
#define ID_OPEN_SDK_FOLDER 32782
#define ID_CLOSE_MENU 32783
#define ID_CLOSE_CONTROL_CENTER 32784
#define ID_HELP_CHM 32785
#define ID_DEVICE_MANAGER 32786
#define ID_FIRST_STEPS 32788
#define ID_FENNLAB2 32790
#define ID_FENNLAB3 32791

#endif
