// Every template, resource and control id of Tavrin, named once and shared by
// the resource script and the code.
#pragma once

// Templates and resources
#define IDD_MAIN 102
#define IDD_ABOUT 103
#define IDB_FEATURED 109
#define IDI_TAVRIN 110
#define IDD_CHECKSUMS 104

// Main window (template 102)
#define IDC_START 1008
#define IDC_ABOUT 1007
// winuser.h names a cursor IDC_HELP; the Help button's id takes the name here.
#ifdef IDC_HELP
#  undef IDC_HELP
#endif
#define IDC_HELP 1009
#define IDC_DRIVE_LABEL 1042
#define IDC_FILE_LABEL 1043
#define IDC_DRIVE_LIST 1036
#define IDC_IMAGE_FILE 1039
#define IDC_BROWSE 1041
#define IDC_TABS 1034
#define IDC_TAB_ROW_LABEL 1040
#define IDC_PROGRESS 1044
#define IDC_VERIFY 1046
#define IDC_TRIM 1047
#define IDC_SUMS 1048
#define IDC_TOOL_CHECK 1050
#define IDC_TOOL_RESTORE 1051
#define IDM_CLOSE_WINDOW 40001
// The system menu's languages: multiples of 16 below 0xF000, as system-menu commands must be.
#define IDM_LANGUAGE_CHINESE 0x0110
#define IDM_LANGUAGE_ENGLISH 0x0120
#define IDT_PROGRESS_TIMER 1024
#define IDT_DEVICE_TIMER 1025  // settles a burst of device changes

// About box (template 103)
#define IDC_ABOUT_CONTACT 1009
#define IDC_ABOUT_DONATE 1010
#define IDC_ABOUT_CUSTOM 1011
#define IDC_ABOUT_UPDATE 1012
#define IDC_ABOUT_PICTURE 1045
// Checksums dialog (template 104)
#define IDC_SUM_MD5 1101
#define IDC_SUM_SHA1 1102
#define IDC_SUM_SHA256 1103
#define IDC_SUM_EXPECTED 1104
#define IDC_SUM_VERDICT 1105
// A control the code never addresses (labels, the picture's frame).
#define IDC_UNADDRESSED (-1)

// Window captions, shared by the templates and the end-to-end UI driver
#define TAVRIN_MAIN_CAPTION "    Tavrin V1.6"
#define TAVRIN_ABOUT_CAPTION "About Tavrin"

// Version resource: file and product version
#define TAVRIN_VERSION_NUMBERS 1, 6, 0, 0
#define TAVRIN_VERSION_TEXT "1.6.0.0"
