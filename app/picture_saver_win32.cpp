// Save picture as..., in two copies on worker threads around the dialog.
#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "app/picture_name.h"
#include "app/picture_saver.h"
#include "platform/com_handles.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "platform/wide_text.h"
#include "settings/settings_table.h"

namespace tessaren {

struct PictureSaver::Run {
  std::atomic<bool> stop{false};
  std::time_t now = 0;
  // The picture copied aside: closed, deleted when the run ends.
  std::unique_ptr<OutputFile> aside;
  std::optional<PictureFormat> format;
  std::time_t pictureTime = 0;
  bool saving = false;  // the second copy, to the user's place
  std::optional<Failure> failure;
  bool nothingKept = false;  // no picture to save yet
};

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;

// The last time the file was written: the picture's own, when it came.
std::time_t writeTimeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  const ULONGLONG ticks =
      (ULONGLONG{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  return static_cast<std::time_t>(ticks / 10'000'000 - 11'644'473'600ULL);
}

// from, byte for byte, into a new file at to that is deleted unless the copy ends whole
// (the caller keeps or moves it). stop is looked at between pieces.
std::unique_ptr<OutputFile> copied(Files& files, const std::string& from, const std::string& to,
                                   const std::atomic<bool>& stop, std::optional<Failure>& why) {
  const OwnedFile in(std::fopen(from.c_str(), "rb"));
  if (!in) {
    why = Failure{FailureKind::CannotRead, "can't read " + from};
    return nullptr;
  }
  Failure failure;
  std::unique_ptr<OutputFile> out = files.create(to, failure);
  if (!out) {
    why = failure;
    return nullptr;
  }
  std::vector<char> piece(kCopyChunk);
  for (;;) {
    if (stop) {
      why = cancelledFailure();
      return nullptr;
    }
    const std::size_t got = std::fread(piece.data(), 1, piece.size(), in.get());
    if (got > 0 && !out->write(piece.data(), got)) {
      why = out->failure();
      return nullptr;
    }
    if (got < piece.size()) break;
  }
  if (std::ferror(in.get())) {
    why = Failure{FailureKind::CannotRead, "can't read " + from};
    return nullptr;
  }
  if (!out->close()) {
    why = out->failure();
    return nullptr;
  }
  return out;
}

// The folder the dialog opens in: the one last saved into while it is there, else the
// user's Pictures; empty when the shell knows neither.
std::wstring startingFolder(ValueStore& store) {
  if (const auto stored = readValue(store, ValueId::SaveFolder)) {
    const std::wstring folder = wideText(std::get<std::string>(*stored));
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (!folder.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return folder;
  }
  TaskMemory<wchar_t*> pictures;
  if (SUCCEEDED(
          SHGetKnownFolderPath(FOLDERID_Pictures, KF_FLAG_DEFAULT, nullptr, pictures.receive())))
    return pictures.get();
  return L"";
}

// The dialog's owner is the hidden main window, which has no place on the screen: the
// dialog is centred on the work area of the screen the mouse is on when it first shows,
// as a dialog of a visible window would be. A hook on this thread, for as long as the
// dialog is open.
HHOOK centringHook = nullptr;

LRESULT CALLBACK centreFirstDialog(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    const auto dialog = reinterpret_cast<HWND>(wParam);
    char name[16] = {};
    GetClassNameA(dialog, name, sizeof name);
    if (std::string(name) == "#32770") {
      POINT cursor{};
      GetCursorPos(&cursor);
      MONITORINFO monitor{};
      monitor.cbSize = sizeof monitor;
      GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor);
      RECT at{};
      GetWindowRect(dialog, &at);
      const RECT& work = monitor.rcWork;
      const int x = work.left + ((work.right - work.left) - (at.right - at.left)) / 2;
      const int y = work.top + ((work.bottom - work.top) - (at.bottom - at.top)) / 2;
      SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      // Once: where the user moves it after is theirs.
      const HHOOK hook = centringHook;
      centringHook = nullptr;
      UnhookWindowsHookEx(hook);
      return 0;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

PictureSaver::PictureSaver(HWND window, Files& files, CommitGate& commits, WorkerThreads& workers,
                           ValueStore& store)
    : window_(window), files_(files), commits_(commits), workers_(workers), store_(store) {}

PictureSaver::~PictureSaver() { cancel(); }

void PictureSaver::start(const std::string& folder, const std::string& pictureName,
                         std::time_t now) {
  if (run_) return;
  auto run = std::make_shared<Run>();
  run->now = now;
  run_ = run;
  const std::string kept = folder + pictureName;
  const std::string aside = folder + temporaryFileName(kPictureFileName);
  workers_.post([this, run, kept, aside, &files = files_, &commits = commits_] {
    {
      // Between two commits: the picture whole, and its time.
      const std::unique_lock<std::mutex> between = commits.enter();
      if (!files.exists(kept)) {
        run->nothingKept = true;
      } else {
        run->pictureTime = writeTimeOf(kept);
        run->aside = copied(files, kept, aside, run->stop, run->failure);
      }
    }
    if (run->aside) {
      std::uint8_t first[kFirstBytes] = {};
      std::size_t got = 0;
      if (const OwnedFile file{std::fopen(aside.c_str(), "rb")})
        got = std::fread(first, 1, sizeof first, file.get());
      run->format = pictureFormatOf({first, got});
    }
    return [this, run] { stepEnded(run); };
  });
}

void PictureSaver::stepEnded(const std::shared_ptr<Run>& run) {
  if (run_ != run) return;
  if (run->stop) {
    run_.reset();
    return;
  }
  if (run->nothingKept) {
    run_.reset();
    MessageBoxA(window_, "There is no picture to save yet.", "Tessaren",
                MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (run->failure) {
    run_.reset();
    const std::string text =
        "The picture could not be saved: " + displaySafe(run->failure->detail, 300) + ".";
    MessageBoxA(window_, text.c_str(), "Tessaren", MB_OK | MB_ICONWARNING);
    return;
  }
  if (run->saving) {
    run_.reset();  // saved; the copy aside goes with it
    return;
  }
  askWhereTo();
}

void PictureSaver::askWhereTo() {
  const std::shared_ptr<Run> run = run_;
  const PictureFormat format = run->format.value_or(PictureFormat::Jpeg);
  // A name with its folder: the one way to choose the folder that Windows does not trade
  // for one it remembers itself.
  std::wstring name = wideText(suggestedPictureName(run->pictureTime, run->format, run->now));
  if (const std::wstring folder = startingFolder(store_); !folder.empty())
    name = folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
  name.resize(32768, L'\0');
  const std::wstring extension = wideText(extensionOf(format));
  const std::wstring filter = L"Picture (*." + extension + L")" + std::wstring(1, L'\0') + L"*." +
                              extension + std::wstring(2, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrDefExt = extension.c_str();
  dialog.lpstrTitle = L"Save picture as";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
  centringHook = SetWindowsHookExW(WH_CBT, centreFirstDialog, nullptr, GetCurrentThreadId());
  const bool chosen = GetSaveFileNameW(&dialog) != FALSE;
  if (centringHook != nullptr) UnhookWindowsHookEx(centringHook);
  centringHook = nullptr;
  // Exit may have come while the dialog was open, and taken the saver with it: nothing
  // but the run is looked at before that is known.
  if (run->stop) return;
  if (!chosen) {
    run_.reset();
    return;
  }
  std::string to = utf8Text(name.c_str());
  writeValue(store_, ValueId::SaveFolder, to.substr(0, to.find_last_of('\\') + 1));
  copy(std::move(to));
}

void PictureSaver::copy(std::string to) {
  const std::shared_ptr<Run> run = run_;
  run->saving = true;
  workers_.post([this, run, to = std::move(to), &files = files_] {
    // Beside the destination first, so that a copy cut short never takes its name (nor
    // replaces a file the user chose to overwrite).
    std::unique_ptr<OutputFile> copy =
        copied(files, run->aside->path(), to + ".part", run->stop, run->failure);
    if (copy && !copy->moveOver(to)) run->failure = copy->failure();
    return [this, run] { stepEnded(run); };
  });
}

void PictureSaver::cancel() {
  if (run_) run_->stop = true;
}

}  // namespace tessaren
