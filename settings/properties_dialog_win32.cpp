// The Properties dialog: fills its controls from the registry on opening, stores them on
// Save and runs a refresh cycle at once so the new settings take effect.
#include "settings/properties_dialog_win32.h"

#include "app/refresh_cycle.h"
#include "res/resource.h"
#include "settings/properties_dialog.h"

namespace tessaren {
namespace {

// The longest text the settings store reads back whole. The URL and directory fields take
// no more, and are read whole on Save: a longer URL saved by another writer must not be
// cut short just because the dialog was opened and saved.
constexpr int kLongestStoredText = 1023;

std::string fieldText(HWND dialog, int id) {
  char buffer[kLongestStoredText + 1] = {};
  GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
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
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_URL, EM_LIMITTEXT, kLongestStoredText, 0);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_TEMP, EM_LIMITTEXT, kLongestStoredText, 0);
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
