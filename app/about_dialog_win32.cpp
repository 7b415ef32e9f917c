// The About box: the program's name and purpose, and the state of its updates as it is
// when the box opens, with a button that opens the log.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "app/main_window.h"
#include "res/resource.h"

namespace tessaren {
namespace {

void showState(HWND dialog, const AppParts& parts) {
  const std::time_t now = parts.services.clock.wallNow();
  SetDlgItemTextA(dialog, IDC_ABOUT_LAST_UPDATE,
                  lastUpdateLine(parts.feedback.lastSuccess(), now).c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_PICTURE, pictureLine(parts.feedback.lastSuccess()).c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_LAST_FAILURE,
                  lastFailureLine(parts.feedback.lastFailure(), now).c_str());
  SetDlgItemTextA(dialog, IDC_ABOUT_NEXT_UPDATE,
                  nextUpdateLine(parts.scheduler.nextUpdate(), parts.scheduler.running(),
                                 parts.scheduler.pausedUntil(), now)
                      .c_str());
}

void openLog(HWND dialog, const AppParts& parts) {
  const std::string& path = parts.log.path();
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    MessageBoxA(dialog, "No update has ended yet, so the log is still empty.", "Tessaren",
                MB_OK | MB_ICONINFORMATION);
    return;
  }
  // The shell's handler for .log files (Notepad unless the user chose another).
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(dialog, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) {
    const std::string text =
        "The log " + path + " could not be opened (error " + std::to_string(result) + ").";
    MessageBoxA(dialog, text.c_str(), "Tessaren", MB_OK | MB_ICONWARNING);
  }
}

}  // namespace

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
      dialogOpened(dialog);
      if (lParam != 0) showState(dialog, *reinterpret_cast<const AppParts*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      if (LOWORD(wParam) == IDC_ABOUT_OPEN_LOG) {
        const auto* parts =
            reinterpret_cast<const AppParts*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
        if (parts != nullptr) openLog(dialog, *parts);
        return TRUE;
      }
      break;
    case WM_DESTROY:
      dialogClosed(dialog);
      break;
  }
  return FALSE;
}

}  // namespace tessaren
