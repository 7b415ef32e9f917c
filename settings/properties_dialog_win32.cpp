// The Properties dialog: fills its controls from the registry on opening, stores them on
// Save and runs a refresh cycle at once so the new settings take effect.
#include "settings/properties_dialog_win32.h"

#include "app/refresh_cycle.h"
#include "res/resource.h"
#include "settings/properties_dialog.h"

namespace tessaren {
namespace {

// 255 with its NUL: a field gives at most its first 254 characters.
constexpr int kFieldReadCount = 255;

std::string fieldText(HWND dialog, int id) {
  char buffer[256] = {};
  GetDlgItemTextA(dialog, id, buffer, kFieldReadCount);
  return buffer;
}

void fillControls(HWND dialog) {
  Settings& settings = settingsRecord();
  loadSettings(settings);
  for (const std::string& name : kDisplayModeNames) {
    SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(name.c_str()));
  }
  // A value outside 0..3 (-1 included) selects nothing.
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_SETCURSEL,
                      static_cast<WPARAM>(static_cast<INT_PTR>(settings.display)), 0);
  SetDlgItemTextA(dialog, IDC_PROPERTIES_URL, settings.url.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_TEMP, settings.temp.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_INTERVAL, intervalToText(settings.interval).c_str());
}

void save(HWND dialog) {
  Settings& settings = settingsRecord();
  settings.temp = fieldText(dialog, IDC_PROPERTIES_TEMP);
  settings.url = fieldText(dialog, IDC_PROPERTIES_URL);
  settings.interval = intervalFromText(fieldText(dialog, IDC_PROPERTIES_INTERVAL));
  settings.display = static_cast<std::int32_t>(
      SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_GETCURSEL, 0, 0));
  // install keeps what opening loaded.
  saveSettings(settings);
  EndDialog(dialog, IDC_PROPERTIES_SAVE);
  refreshCycle();
}

}  // namespace

INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      fillControls(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_PROPERTIES_SAVE:
          save(dialog);
          return TRUE;
        case IDC_PROPERTIES_CANCEL:
          EndDialog(dialog, IDC_PROPERTIES_CANCEL);
          return TRUE;
      }
      // IDOK and IDCANCEL (Enter and Escape) fall through here and leave the dialog open.
      return FALSE;
    case WM_CLOSE:
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
  }
  return FALSE;
}

}  // namespace tessaren
