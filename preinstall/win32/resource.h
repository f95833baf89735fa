// Resource ids of the launcher, shared by its code and its resource script.
#ifndef TARVEX_PREINSTALL_WIN32_RESOURCE_H
#define TARVEX_PREINSTALL_WIN32_RESOURCE_H

#define IDD_TARVEXPREINSTALL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_PICTURE 129
// The choices' radio buttons, one id after the other in the order of the
// selections.
#define IDC_GERMAN 1000
#define IDC_ENGLISH 1001
#define IDC_PATCH 1002

#endif
