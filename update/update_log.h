// The update log, %LOCALAPPDATA%\Tessaren\tessaren.log: one UTF-8 line per finished
// update, kept across restarts. Past 1 MiB the file becomes tessaren.log.1 (one old copy
// is kept). A log that can't be written is skipped: it never fails an update. Lines are
// written by a thread of the log's own, so that the GUI thread never waits for a disk.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace tessaren {

constexpr std::uint64_t kLogRotateBytes = 1024 * 1024;
// The log's name in the default picture folder, and that of its one old copy.
inline const std::string kLogFileName = "tessaren.log";
inline std::string oldLogPath(const std::string& path) { return path + ".1"; }

// Appends line and a line end in one write, so that lines from several writers never
// mix; rotates first when the file has reached rotateBytes. False when nothing could be
// written. On Windows the file is opened for appending only and the rotation happens
// under a mutex of the user's, across all of the user's sessions.
bool appendLogLine(const std::string& path, const std::string& line,
                   std::uint64_t rotateBytes = kLogRotateBytes);

class UpdateLog {
 public:
  explicit UpdateLog(std::string path, std::uint64_t rotateBytes = kLogRotateBytes);
  // Lines not yet written are dropped: call flush() first where they matter.
  ~UpdateLog();
  UpdateLog(const UpdateLog&) = delete;
  UpdateLog& operator=(const UpdateLog&) = delete;

  // Any thread: queues the line (without its end).
  void append(std::string line);
  // Waits until every queued line is written, at most limit; true when all are.
  bool flush(std::chrono::milliseconds limit);

  const std::string& path() const { return path_; }
  std::uint64_t linesWritten() const;

 private:
  void run();

  const std::string path_;
  const std::uint64_t rotateBytes_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  bool writing_ = false;
  bool closing_ = false;
  std::uint64_t written_ = 0;
  std::thread thread_;  // last: starts once the rest is in place
};

}  // namespace tessaren
