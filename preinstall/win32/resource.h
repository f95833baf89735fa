// Resource ids of the launcher, shared by its code and its resource script.
#define IDD_TARVEXPREINSTALL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_PICTURE 129
#define IDC_GERMAN 1000
#define IDC_ENGLISH 1001
#define IDC_PATCH 1002
