// Save picture as...: a copy of the picture as it came, in its real format, named after its
// time. The kept picture is first copied aside between two commits (under the commit gate),
// so that the name's format and the bytes saved are those of one picture even when an
// update commits while the dialog is open, and no commit ever meets a copy in progress. The
// copy to the user's place goes through a file that disappears should Tessaren end before
// it is whole; Exit stops it. GUI thread, but for the copies, which run as jobs of the
// program's worker threads.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/worker_threads.h"
#include "settings/value_store.h"
#include "update/update_job.h"

namespace tessaren {

class PictureSaver {
 public:
  // The dialog opens in the folder last saved into (kept in store), the first time in the
  // user's Pictures, centred on the screen the mouse is on.
  PictureSaver(HWND window, Files& files, CommitGate& commits, WorkerThreads& workers,
               ValueStore& store);
  ~PictureSaver();
  PictureSaver(const PictureSaver&) = delete;
  PictureSaver& operator=(const PictureSaver&) = delete;

  // The menu command: the picture kept as pictureName in folder (tessaren.jpg, or a
  // monitor's own) is copied aside, into a file of its own; then the dialog asks where to.
  // A save already under way is left to finish.
  void start(const std::string& folder, const std::string& pictureName, std::time_t now);
  // Exit: a copy on its way stops and leaves nothing behind.
  void cancel();
  bool running() const { return run_ != nullptr; }

  struct Run;

 private:
  // On the GUI thread once a copy has ended: the next step, or what went wrong.
  void stepEnded(const std::shared_ptr<Run>& run);
  void askWhereTo();
  void copy(std::string to);

  HWND window_;
  Files& files_;
  CommitGate& commits_;
  WorkerThreads& workers_;
  ValueStore& store_;
  std::shared_ptr<Run> run_;
};

}  // namespace tessaren
