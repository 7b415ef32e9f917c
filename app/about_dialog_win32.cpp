// The About box: the program's name and purpose, and the state of its updates as it is
// when the box opens, with a button that opens the log.
#include <windows.h>

#include "app/dialogs.h"
#include "app/explorer.h"
#include "app/program_ids.h"
#include "platform/system_error.h"

namespace tessaren {
namespace {

AboutView* viewOf(HWND dialog) {
  return reinterpret_cast<AboutView*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
}

void showState(HWND dialog, AboutView& view) {
  const AboutState state = view.aboutState();
  SetDlgItemTextA(dialog, IDC_ABOUT_LAST_UPDATE, state.lastUpdate.c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_PICTURE, state.picture.c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_LAST_FAILURE, state.lastFailure.c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_NEXT_UPDATE, state.nextUpdate.c_str());
}

void openLog(HWND dialog, AboutView& view) {
  const std::string path = view.logPath();
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    MessageBoxA(dialog, "No update has ended yet, so the log is still empty.", "Tessaren",
                MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (const unsigned long error = openDocument(dialog, path)) {
    const std::string text =
        "The log " + path + " could not be opened: " + systemErrorText(error) + ".";
    MessageBoxA(dialog, text.c_str(), "Tessaren", MB_OK | MB_ICONWARNING);
  }
}

}  // namespace

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
      if (AboutView* view = viewOf(dialog)) {
        view->dialogShown(dialog);
        showState(dialog, *view);
      }
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      if (LOWORD(wParam) == IDC_ABOUT_OPEN_LOG) {
        if (AboutView* view = viewOf(dialog)) openLog(dialog, *view);
        return TRUE;
      }
      break;
    case WM_DESTROY:
      if (AboutView* view = viewOf(dialog)) view->dialogGone(dialog);
      break;
  }
  return FALSE;
}

}  // namespace tessaren
