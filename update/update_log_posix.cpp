// Appending to the log natively: O_APPEND makes each line one append.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "update/update_log.h"

namespace tessaren {

bool appendLogLine(const std::string& path, const std::string& line, std::uint64_t rotateBytes) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 &&
      static_cast<std::uint64_t>(status.st_size) >= rotateBytes)
    std::rename(path.c_str(), oldLogPath(path).c_str());
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (file < 0) return false;
  // CR LF: every editor on Windows shows one line per update.
  const std::string text = line + "\r\n";
  const bool written = ::write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(file) == 0 && written;
}

}  // namespace tessaren
