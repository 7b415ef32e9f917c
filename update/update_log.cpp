// Appending to the log, one open-write-close per line so that no handle stays open and
// another program may read or delete the file at any time.
#include "update/update_log.h"

#include <cstdio>
#include <memory>

#include "download/local_file_api.h"
#include "settings/default_directory.h"

namespace tessaren {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::uint64_t fileSize(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file.get());
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

std::string updateLogPath() { return defaultDownloadDirectory() + "tessaren.log"; }

bool appendLogLine(const std::string& path, const std::string& line, std::uint64_t rotateBytes) {
  if (fileSize(path) >= rotateBytes) localFileApi().replace(path, path + ".1");
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "ab"));
  if (!file) return false;
  // CR LF: every editor on Windows shows one line per update.
  const std::string text = line + "\r\n";
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  return std::fclose(file.release()) == 0 && written;
}

}  // namespace tessaren
