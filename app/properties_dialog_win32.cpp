// The Properties dialog: fills its controls from the registry on opening; on Save checks
// every field, stores them and asks for an update at once with the new settings. A field
// that is wrong keeps the dialog open, with the field selected and the problem named.
// Check looks the entered address up on a thread of its own and says what it found, while
// the dialog goes on answering; closing the dialog cancels it.
#include <windows.h>

#include <memory>

#include "app/main_window.h"
#include "app/properties_form.h"
#include "platform/text.h"
#include "res/resource.h"
#include "settings/startup.h"

namespace tessaren {
namespace {

// Longer fields than these are not a URL or a folder anyone types; the limits keep a
// pasted page out of the registry.
constexpr int kLongestUrlField = 4096;
constexpr int kLongestFolderField = 1024;

// What a Check shares with its thread, which may outlive the dialog.
struct CheckRun {
  CancelToken cancel;
};

struct DialogState {
  AppParts* parts;
  Settings loaded;
  std::shared_ptr<CheckRun> check{};
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

std::string programPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void fillControls(HWND dialog, const Settings& settings, ValueStore& store) {
  for (const DisplayModeInfo& mode : kDisplayModes) {
    const std::string name(mode.name);
    SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(name.c_str()));
  }
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_SETCURSEL,
                      static_cast<WPARAM>(settings.display), 0);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_URL, EM_LIMITTEXT, kLongestUrlField, 0);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_FOLDER, EM_LIMITTEXT, kLongestFolderField, 0);
  const PropertiesFields fields = fieldsFor(settings);
  SetDlgItemTextA(dialog, IDC_PROPERTIES_URL, fields.url.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_FOLDER, fields.folder.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_INTERVAL, fields.interval.c_str());
  SetDlgItemTextA(dialog, IDC_PROPERTIES_POINTER, fields.pointer.c_str());
  CheckDlgButton(dialog, IDC_PROPERTIES_STARTUP,
                 startsWithWindows(store) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_PROPERTIES_METERED,
                 fields.updateOnMetered ? BST_CHECKED : BST_UNCHECKED);
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
    case PropertiesField::Interval:
      break;
  }
  return IDC_PROPERTIES_INTERVAL;
}

void save(HWND dialog, DialogState& state) {
  PropertiesFields fields;
  fields.url = fieldText(dialog, IDC_PROPERTIES_URL);
  fields.folder = fieldText(dialog, IDC_PROPERTIES_FOLDER);
  fields.interval = fieldText(dialog, IDC_PROPERTIES_INTERVAL);
  fields.display = static_cast<std::int32_t>(
      SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_GETCURSEL, 0, 0));
  fields.updateOnMetered = IsDlgButtonChecked(dialog, IDC_PROPERTIES_METERED) == BST_CHECKED;
  fields.pointer = fieldText(dialog, IDC_PROPERTIES_POINTER);
  const CheckedFields checked = checkFields(fields, state.loaded, state.parts->services.files);
  if (checked.problem) {
    MessageBoxA(dialog, checked.problem->message.c_str(), "Tessaren", MB_OK | MB_ICONWARNING);
    HWND control = GetDlgItem(dialog, controlOf(checked.problem->field));
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageA(control, EM_SETSEL, 0, -1);
    return;
  }
  AppParts& parts = *state.parts;
  parts.settings.save(*checked.settings);
  setStartWithWindows(parts.services.store,
                      IsDlgButtonChecked(dialog, IDC_PROPERTIES_STARTUP) == BST_CHECKED,
                      programPath());
  EndDialog(dialog, IDC_PROPERTIES_SAVE);
  parts.scheduler.settingsSaved();
}

// What a Check found, in a sentence for the dialog.
std::string checkedText(const UpdateOutcome& outcome) {
  if (outcome.kind == OutcomeKind::Failed) return reasonText(outcome);
  std::string text = "Found " + displaySafe(outcome.pictureUrl, 160);
  if (!outcome.origin.empty()) text += " (" + displaySafe(outcome.origin, 60) + ")";
  return text + ": " + std::to_string(outcome.width) + " x " + std::to_string(outcome.height) +
         " " + outcome.format + ", " + formatSize(outcome.bytes);
}

void startCheck(HWND dialog, DialogState& state) {
  PropertiesFields fields;
  fields.url = fieldText(dialog, IDC_PROPERTIES_URL);
  fields.pointer = fieldText(dialog, IDC_PROPERTIES_POINTER);
  // The address and the pointer as Save would take them; the rest as stored.
  fields.folder = state.loaded.folder;
  fields.interval = std::to_string(state.loaded.interval);
  fields.display = static_cast<std::int32_t>(state.loaded.display);
  const CheckedFields checked = checkFields(fields, state.loaded, state.parts->services.files);
  if (checked.problem) {
    SetDlgItemTextA(dialog, IDC_PROPERTIES_CHECK_RESULT, checked.problem->message.c_str());
    return;
  }
  if (state.check) state.check->cancel.cancel();
  auto run = std::make_shared<CheckRun>();
  state.check = run;
  UpdateRequest request;
  request.id = state.parts->scheduler.newId();
  request.settings = *checked.settings;
  request.checkOnly = true;
  request.startedAt = state.parts->services.clock.wallNow();
  SetDlgItemTextA(dialog, IDC_PROPERTIES_CHECK_RESULT, "Checking...");
  EnableWindow(GetDlgItem(dialog, IDC_PROPERTIES_CHECK), FALSE);
  AppParts& parts = *state.parts;
  parts.workers.post([dialog, run, request, &parts]() -> WorkerThreads::GuiHalf {
    const std::string text = checkedText(runUpdate(request, parts.updateServices, run->cancel));
    // A dialog closed in the meantime takes no answer: it cancelled the Check when it went.
    return [dialog, run, text] {
      if (run->cancel.stopped()) return;
      SetDlgItemTextA(dialog, IDC_PROPERTIES_CHECK_RESULT, text.c_str());
      EnableWindow(GetDlgItem(dialog, IDC_PROPERTIES_CHECK), TRUE);
    };
  });
}

}  // namespace

INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* parts = reinterpret_cast<AppParts*>(lParam);
      auto state = std::make_unique<DialogState>(DialogState{parts, parts->settings.load()});
      fillControls(dialog, state->loaded, parts->services.store);
      SetWindowLongPtrA(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state.release()));
      dialogOpened(dialog);
      return TRUE;
    }
    case WM_COMMAND:
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
      dialogClosed(dialog);
      if (DialogState* state = stateOf(dialog); state != nullptr && state->check)
        state->check->cancel.cancel();
      delete stateOf(dialog);
      SetWindowLongPtrA(dialog, GWLP_USERDATA, 0);
      return FALSE;
  }
  return FALSE;
}

}  // namespace tessaren
