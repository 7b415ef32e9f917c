// Resource, command and control numbers shared by the resource script and the code.
// Plain #defines only: windres reads this file too.
#pragma once

#define IDS_APP_TITLE 103
#define IDS_WINDOW_CLASS 109

#define IDD_ABOUTBOX 103
#define IDD_PROPERTIES 133
#define IDC_ABOUT_ICON 2

#define IDI_TESSAREN 107
#define IDI_SMALL 108
#define IDI_TRAY_LOADING 129
#define IDI_TRAY_ERROR 130
#define IDI_TRAY_READY 131

#define IDC_TESSAREN 109  // class menu and accelerator table
#define IDR_TRAY_MENU 132

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_TRAY_ABOUT 32771
#define IDM_TRAY_RELOAD 32772
#define IDM_TRAY_PROPERTIES 32773
#define IDM_TRAY_EXIT 32774

#define IDC_PROPERTIES_SAVE 1000
#define IDC_PROPERTIES_CANCEL 1002
#define IDC_PROPERTIES_URL 1003
#define IDC_PROPERTIES_TEMP 1004
#define IDC_PROPERTIES_INTERVAL 1005
#define IDC_PROPERTIES_DISPLAY 1006
#define IDC_PROPERTIES_STARTUP 1007

#define IDC_ABOUT_LAST_UPDATE 1010
#define IDC_ABOUT_LAST_FAILURE 1011
#define IDC_ABOUT_NEXT_UPDATE 1012
#define IDC_ABOUT_OPEN_LOG 1013

#define IDC_STATIC_TEXT -1
