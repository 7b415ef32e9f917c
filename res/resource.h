// Resource, command and control numbers shared by the resource script and the code.
// Plain #defines only: windres reads this file too.
#pragma once

#define IDD_ABOUTBOX 103
#define IDD_PROPERTIES 133
#define IDC_ABOUT_ICON 2

#define IDI_TESSAREN 107
#define IDI_SMALL 108
#define IDI_TRAY_LOADING 129
#define IDI_TRAY_ERROR 130
#define IDI_TRAY_READY 131

#define IDR_TRAY_MENU 132

#define IDM_TRAY_ABOUT 32771
#define IDM_TRAY_RELOAD 32772
#define IDM_TRAY_PROPERTIES 32773
#define IDM_TRAY_EXIT 32774
#define IDM_TRAY_SAVE_PICTURE 32775
#define IDM_TRAY_OPEN_FOLDER 32776
#define IDM_TRAY_PAUSE_HOUR 32777
#define IDM_TRAY_PAUSE_MORNING 32778
#define IDM_TRAY_PAUSE_FOREVER 32779
#define IDM_TRAY_RESUME 32780
#define IDM_TRAY_PREVIOUS 32781
#define IDM_TRAY_NEXT 32782

#define IDC_PROPERTIES_SAVE 1000
#define IDC_PROPERTIES_CANCEL 1002
#define IDC_PROPERTIES_URL 1003
#define IDC_PROPERTIES_FOLDER 1004
#define IDC_PROPERTIES_INTERVAL 1005
#define IDC_PROPERTIES_DISPLAY 1006
#define IDC_PROPERTIES_STARTUP 1007
#define IDC_PROPERTIES_METERED 1008
#define IDC_PROPERTIES_POINTER 1009
#define IDC_PROPERTIES_CHECK 1014
#define IDC_PROPERTIES_CHECK_RESULT 1015
#define IDC_PROPERTIES_INTERVAL_SPIN 1017
#define IDC_PROPERTIES_MONITOR 1030
#define IDC_PROPERTIES_SAME 1031
#define IDC_PROPERTIES_HISTORY_PICTURES 1018
#define IDC_PROPERTIES_HISTORY_MEGABYTES 1019

#define IDC_ABOUT_LAST_UPDATE 1010
#define IDC_ABOUT_LAST_FAILURE 1011
#define IDC_ABOUT_NEXT_UPDATE 1012
#define IDC_ABOUT_OPEN_LOG 1013
#define IDC_ABOUT_PICTURE 1016

#define IDC_STATIC_TEXT -1

// The Properties dialog's grid, in dialog units, which every control of it keeps to: labels
// in the label column, fields from the field column to the right margin, a row every
// PROPERTIES_ROW_PITCH. A row holds a 14-unit box; its label sits 3 units lower, so that
// the text stands level with the box's. A control added later takes the next free row and
// moves the Check row and the buttons down by PROPERTIES_ROW_PITCH (the dialog's height
// grows with them): tests/app/dialog_fit_wine_test.cpp checks the grid, the overlaps and
// that every text fits at 100 to 200 % scaling.
#define PROPERTIES_WIDTH 300
#define PROPERTIES_MARGIN 7
#define PROPERTIES_LABEL_X PROPERTIES_MARGIN
#define PROPERTIES_LABEL_WIDTH 48
#define PROPERTIES_FIELD_X 60
#define PROPERTIES_RIGHT (PROPERTIES_WIDTH - PROPERTIES_MARGIN)
#define PROPERTIES_FIELD_WIDTH (PROPERTIES_RIGHT - PROPERTIES_FIELD_X)
#define PROPERTIES_ROW_PITCH 16
#define PROPERTIES_ROW_Y(row) (PROPERTIES_MARGIN + PROPERTIES_ROW_PITCH * (row))
#define PROPERTIES_LABEL_Y(row) (PROPERTIES_ROW_Y(row) + 3)
#define PROPERTIES_CHECKBOX_Y(row) (PROPERTIES_ROW_Y(row) + 2)
#define PROPERTIES_BOX_HEIGHT 14
#define PROPERTIES_LABEL_HEIGHT 8
#define PROPERTIES_CHECKBOX_HEIGHT 10
// A number box (Interval) is this wide, its up-down control included.
#define PROPERTIES_NUMBER_WIDTH 44
#define PROPERTIES_BUTTON_WIDTH 50
#define PROPERTIES_BUTTON_GAP 4
// The rows in use: 0 Monitor, 1 URL, 2 Picture at, 3 Tmp. Dir., 4 Interval, 5 Display,
// 6 History, 7 Start with Windows, 8 metered; then Check with its answer (four lines), then
// Cancel and Save.
#define PROPERTIES_CHECK_ROW 9
// The Monitor choice leaves the rest of its row to "Same as all monitors".
#define PROPERTIES_MONITOR_WIDTH 130
#define PROPERTIES_CHECK_RESULT_HEIGHT 32
#define PROPERTIES_BUTTONS_Y \
  (PROPERTIES_ROW_Y(PROPERTIES_CHECK_ROW) + PROPERTIES_CHECK_RESULT_HEIGHT + PROPERTIES_MARGIN)
#define PROPERTIES_HEIGHT (PROPERTIES_BUTTONS_Y + PROPERTIES_BOX_HEIGHT + PROPERTIES_MARGIN)
