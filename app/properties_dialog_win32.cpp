// The Properties dialog: fills its controls from the stored settings on opening; on Save
// checks every field, stores them and asks for an update at once with the new settings. A
// field that is wrong keeps the dialog open, with the field selected and the problem named.
// Check looks the entered address up on a worker and says what it found, while the dialog
// goes on answering; closing the dialog, or editing what it looked up, cancels it. The
// Monitor choice makes the address, "Picture at" and Display those of one monitor's own
// picture; the fields of each choice are kept while the dialog is open and saved at once.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <memory>

#include "app/dialogs.h"
#include "platform/program_ids.h"
#include "update/monitor_sources.h"

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
  std::vector<Monitor> monitors{};
  PropertiesFields fields{};  // every choice's fields, as last shown
  std::size_t chosen = 0;     // 0: all monitors; n: monitors[n - 1]
};

// The monitor's key name for the choice (its preferred one: the sources were moved there
// when the dialog opened); empty for all monitors.
std::string chosenMonitor(const DialogState& state) {
  return state.chosen == 0 ? "" : monitorKeyName(state.monitors[state.chosen - 1]);
}

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

// The source fields of the choice, from the fields kept; a monitor without a source of its
// own shows the common one, greyed, "Same as all monitors" ticked.
void showChoice(HWND dialog, const DialogState& state) {
  const PropertiesFields& fields = state.fields;
  const std::string monitor = chosenMonitor(state);
  const auto own = fields.monitorSources.find(monitor);
  const bool same = !monitor.empty() && own == fields.monitorSources.end();
  const bool ownShown = !monitor.empty() && !same;
  SetDlgItemTextA(dialog, IDC_PROPERTIES_URL, (ownShown ? own->second.url : fields.url).c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_POINTER,
                  (ownShown ? own->second.pointer : fields.pointer).c_str());
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_SETCURSEL,
                      static_cast<WPARAM>(ownShown ? own->second.display : fields.display), 0);
  CheckDlgButton(dialog, IDC_PROPERTIES_SAME,
                 same || monitor.empty() ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(dialog, IDC_PROPERTIES_SAME), !monitor.empty());
  for (int id : {IDC_PROPERTIES_URL, IDC_PROPERTIES_POINTER, IDC_PROPERTIES_DISPLAY})
    EnableWindow(GetDlgItem(dialog, id), !same);
}

// The source fields as shown, into the choice's fields.
void keepChoice(HWND dialog, DialogState& state) {
  const std::string monitor = chosenMonitor(state);
  const std::string url = fieldText(dialog, IDC_PROPERTIES_URL);
  const std::string pointer = fieldText(dialog, IDC_PROPERTIES_POINTER);
  const auto display = static_cast<std::int32_t>(
      SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_GETCURSEL, 0, 0));
  if (monitor.empty()) {
    state.fields.url = url;
    state.fields.pointer = pointer;
    state.fields.display = display;
  } else if (IsDlgButtonChecked(dialog, IDC_PROPERTIES_SAME) == BST_CHECKED) {
    state.fields.monitorSources.erase(monitor);
  } else {
    state.fields.monitorSources[monitor] = {url, pointer, display};
  }
}

// "Same as all monitors" unticked: the monitor's own source starts as a copy of the common
// one, in a mode a monitor can have.
void sameToggled(HWND dialog, DialogState& state) {
  const std::string monitor = chosenMonitor(state);
  if (monitor.empty()) return;
  if (IsDlgButtonChecked(dialog, IDC_PROPERTIES_SAME) == BST_CHECKED) {
    state.fields.monitorSources.erase(monitor);
  } else {
    const auto common = displayModeFromNumber(state.fields.display);
    const DisplayMode mode = common && monitorDisplayMode(*common) ? *common : DisplayMode::Fill;
    state.fields.monitorSources[monitor] = {state.fields.url, state.fields.pointer,
                                            static_cast<std::int32_t>(mode)};
  }
  showChoice(dialog, state);
}

void choose(HWND dialog, DialogState& state, std::size_t choice) {
  keepChoice(dialog, state);
  state.chosen = choice;
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_MONITOR, CB_SETCURSEL, choice, 0);
  showChoice(dialog, state);
}

void fillControls(HWND dialog, DialogState& state, bool startsWithWindows) {
  const Settings& settings = state.loaded;
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_MONITOR, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>("All monitors"));
  for (std::size_t i = 0; i < state.monitors.size(); ++i) {
    const std::string label = monitorLabel(i, state.monitors);
    SendDlgItemMessageA(dialog, IDC_PROPERTIES_MONITOR, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(label.c_str()));
  }
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_MONITOR, CB_SETCURSEL, 0, 0);
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
  state.fields = fieldsFor(settings);
  const PropertiesFields& fields = state.fields;
  SetDlgItemTextA(dialog, IDC_PROPERTIES_FOLDER, fields.folder.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_INTERVAL, fields.interval.c_str());
  showChoice(dialog, state);
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

PropertiesFields readFields(HWND dialog, DialogState& state) {
  keepChoice(dialog, state);
  PropertiesFields fields = state.fields;
  fields.folder = fieldText(dialog, IDC_PROPERTIES_FOLDER);
  fields.interval = fieldText(dialog, IDC_PROPERTIES_INTERVAL);
  fields.updateOnMetered = IsDlgButtonChecked(dialog, IDC_PROPERTIES_METERED) == BST_CHECKED;
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
  const CheckedFields checked = state.host.checkedFields(readFields(dialog, state), state.loaded);
  if (checked.problem) {
    // A monitor's field is shown on its own choice.
    std::size_t choice = 0;
    for (std::size_t i = 0; i < state.monitors.size(); ++i)
      if (monitorKeyName(state.monitors[i]) == checked.problem->monitor) choice = i + 1;
    if (checked.problem->field != PropertiesField::Folder &&
        checked.problem->field != PropertiesField::Interval)
      choose(dialog, state, choice);
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
  // The chosen monitor's address and pointer (the common ones for all monitors, or for a
  // monitor that shows the common picture) as Save would take them; the rest as stored.
  PropertiesFields fields = fieldsFor(state.loaded);
  fields.monitorSources.clear();
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
  state->monitors = host.connectedMonitors();
  // A connected monitor's own source kept under its device interface name is shown, and
  // saved, under what identifies the monitor itself.
  state->loaded.monitorSources =
      underPreferredNames(std::move(state->loaded.monitorSources), state->monitors);
  fillControls(dialog, *state, host.startsWithWindows());
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
        case IDC_PROPERTIES_MONITOR:
          if (HIWORD(wParam) != CBN_SELCHANGE) return FALSE;
          if (DialogState* state = stateOf(dialog)) {
            const LRESULT choice =
                SendDlgItemMessageA(dialog, IDC_PROPERTIES_MONITOR, CB_GETCURSEL, 0, 0);
            if (choice >= 0) choose(dialog, *state, static_cast<std::size_t>(choice));
          }
          return TRUE;
        case IDC_PROPERTIES_SAME:
          if (DialogState* state = stateOf(dialog)) sameToggled(dialog, *state);
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
