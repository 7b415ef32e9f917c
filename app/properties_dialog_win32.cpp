// The Properties dialog: fills its controls from the stored settings on opening; on Save
// checks every field, stores them and asks for an update at once with the new settings. A
// field that is wrong keeps the dialog open, with the field selected and the problem named.
// Check looks the entered address up on a worker and says what it found, while the dialog
// goes on answering; closing the dialog, or editing what it looked up, cancels it.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <memory>

#include "app/dialogs.h"
#include "platform/program_ids.h"

namespace tessaren {
namespace {

// Longer fields than these are not a URL or a folder anyone types; the limits keep a
// pasted page out of the registry.
constexpr int kLongestUrlField = 4096;
constexpr int kLongestFolderField = 1024;
// The digits of the longest interval.
constexpr int kLongestIntervalField = 5;
// The digits of the history's largest limit.
constexpr int kLongestHistoryField = 6;

struct DialogState {
  PropertiesHost& host;
  Settings loaded;
  std::shared_ptr<CancelToken> check{};  // the Check under way, if any
};

DialogState* stateOf(HWND dialog) {
  return reinterpret_cast<DialogState*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

std::string fieldText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  const int length = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return text;
}

void fillControls(HWND dialog, const Settings& settings, bool startsWithWindows) {
  for (const DisplayModeInfo& mode : kDisplayModes) {
    const std::string name(mode.name);
    SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(name.c_str()));
  }
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_SETCURSEL,
                      static_cast<WPARAM>(settings.display), 0);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_URL, EM_LIMITTEXT, kLongestUrlField, 0);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_FOLDER, EM_LIMITTEXT, kLongestFolderField, 0);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_INTERVAL, EM_LIMITTEXT, kLongestIntervalField, 0);
  // The arrows stay within what Save accepts; typing outside it is still refused there.
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_INTERVAL_SPIN, UDM_SETRANGE32, kShortestInterval,
                      kLongestInterval);
  const PropertiesFields fields = fieldsFor(settings);
  SetDlgItemTextA(dialog, IDC_PROPERTIES_URL, fields.url.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_FOLDER, fields.folder.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_INTERVAL, fields.interval.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_POINTER, fields.pointer.c_str());
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_HISTORY_PICTURES, EM_LIMITTEXT, kLongestHistoryField,
                      0);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_HISTORY_MEGABYTES, EM_LIMITTEXT, kLongestHistoryField,
                      0);
  SetDlgItemTextA(dialog, IDC_PROPERTIES_HISTORY_PICTURES, fields.historyPictures.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_HISTORY_MEGABYTES, fields.historyMegabytes.c_str());
  CheckDlgButton(dialog, IDC_PROPERTIES_STARTUP, startsWithWindows ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_PROPERTIES_METERED,
                 fields.updateOnMetered ? BST_CHECKED : BST_UNCHECKED);
}

PropertiesFields readFields(HWND dialog) {
  PropertiesFields fields;
  fields.url = fieldText(dialog, IDC_PROPERTIES_URL);
  fields.folder = fieldText(dialog, IDC_PROPERTIES_FOLDER);
  fields.interval = fieldText(dialog, IDC_PROPERTIES_INTERVAL);
  fields.display = static_cast<std::int32_t>(
      SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_GETCURSEL, 0, 0));
  fields.updateOnMetered = IsDlgButtonChecked(dialog, IDC_PROPERTIES_METERED) == BST_CHECKED;
  fields.pointer = fieldText(dialog, IDC_PROPERTIES_POINTER);
  fields.historyPictures = fieldText(dialog, IDC_PROPERTIES_HISTORY_PICTURES);
  fields.historyMegabytes = fieldText(dialog, IDC_PROPERTIES_HISTORY_MEGABYTES);
  return fields;
}

int controlOf(PropertiesField field) {
  switch (field) {
    case PropertiesField::Url:
      return IDC_PROPERTIES_URL;
    case PropertiesField::Folder:
      return IDC_PROPERTIES_FOLDER;
    case PropertiesField::Display:
      return IDC_PROPERTIES_DISPLAY;
    case PropertiesField::Pointer:
      return IDC_PROPERTIES_POINTER;
    case PropertiesField::HistoryPictures:
      return IDC_PROPERTIES_HISTORY_PICTURES;
    case PropertiesField::HistoryMegabytes:
      return IDC_PROPERTIES_HISTORY_MEGABYTES;
    case PropertiesField::Interval:
      break;
  }
  return IDC_PROPERTIES_INTERVAL;
}

void save(HWND dialog, DialogState& state) {
  const CheckedFields checked = state.host.checkedFields(readFields(dialog), state.loaded);
  if (checked.problem) {
    MessageBoxA(dialog, checked.problem->message.c_str(), "Tessaren", MB_OK | MB_ICONWARNING);
    HWND control = GetDlgItem(dialog, controlOf(checked.problem->field));
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageA(control, EM_SETSEL, 0, -1);
    return;
  }
  const bool startWithWindows = IsDlgButtonChecked(dialog, IDC_PROPERTIES_STARTUP) == BST_CHECKED;
  PropertiesHost& host = state.host;
  EndDialog(dialog, IDC_PROPERTIES_SAVE);
  host.saveSettings(*checked.settings, startWithWindows);
}

void startCheck(HWND dialog, DialogState& state) {
  // The address and the pointer as Save would take them; the rest as stored.
  PropertiesFields fields = fieldsFor(state.loaded);
  fields.url = fieldText(dialog, IDC_PROPERTIES_URL);
  fields.pointer = fieldText(dialog, IDC_PROPERTIES_POINTER);
  const CheckedFields checked = state.host.checkedFields(fields, state.loaded);
  if (checked.problem) {
    SetDlgItemTextA(dialog, IDC_PROPERTIES_CHECK_RESULT, checked.problem->message.c_str());
    return;
  }
  if (state.check) state.check->cancel();
  state.check = std::make_shared<CancelToken>();
  SetDlgItemTextA(dialog, IDC_PROPERTIES_CHECK_RESULT, "Checking...");
  EnableWindow(GetDlgItem(dialog, IDC_PROPERTIES_CHECK), FALSE);
  state.host.checkAddress(*checked.settings, state.check, [dialog](const std::string& text) {
    SetDlgItemTextA(dialog, IDC_PROPERTIES_CHECK_RESULT, text.c_str());
    EnableWindow(GetDlgItem(dialog, IDC_PROPERTIES_CHECK), TRUE);
  });
}

// An answer about an address that is no longer in the fields would pass for one about the
// address that is.
void forgetCheck(HWND dialog, DialogState& state) {
  if (state.check) {
    state.check->cancel();
    state.check.reset();
    EnableWindow(GetDlgItem(dialog, IDC_PROPERTIES_CHECK), TRUE);
  }
  SetDlgItemTextA(dialog, IDC_PROPERTIES_CHECK_RESULT, "");
}

INT_PTR initialize(HWND dialog, PropertiesHost& host) {
  auto state = std::make_unique<DialogState>(DialogState{host, host.storedSettings()});
  fillControls(dialog, state->loaded, host.startsWithWindows());
  SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
  host.dialogShown(dialog);
  return TRUE;
}

// A Check still under way takes no answer once the dialog is gone.
void destroyed(HWND dialog) {
  const std::unique_ptr<DialogState> state(stateOf(dialog));
  SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
  if (!state) return;
  if (state->check) state->check->cancel();
  state->host.dialogGone(dialog);
}

}  // namespace

INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return initialize(dialog, *reinterpret_cast<PropertiesHost*>(lParam));
    case WM_COMMAND:
      if (HIWORD(wParam) == EN_CHANGE) {
        const int id = LOWORD(wParam);
        if (id == IDC_PROPERTIES_URL || id == IDC_PROPERTIES_POINTER)
          if (DialogState* state = stateOf(dialog)) forgetCheck(dialog, *state);
        return FALSE;
      }
      switch (LOWORD(wParam)) {
        case IDC_PROPERTIES_SAVE:
        case IDOK:  // Enter
          if (DialogState* state = stateOf(dialog)) save(dialog, *state);
          return TRUE;
        case IDC_PROPERTIES_CANCEL:
        case IDCANCEL:  // Esc
          EndDialog(dialog, IDC_PROPERTIES_CANCEL);
          return TRUE;
        case IDC_PROPERTIES_CHECK:
          if (DialogState* state = stateOf(dialog)) startCheck(dialog, *state);
          return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    case WM_DESTROY:
      destroyed(dialog);
      return FALSE;
  }
  return FALSE;
}

}  // namespace tessaren
