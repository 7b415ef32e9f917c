// Chooses between the platform's default download directory and one a test named.
#include "settings/default_directory.h"

namespace tessaren {
namespace {
std::optional<std::string> replacement;
}

std::string defaultDownloadDirectory() {
  return replacement ? *replacement : platformDefaultDownloadDirectory();
}

void setDefaultDownloadDirectory(std::optional<std::string> directory) {
  replacement = std::move(directory);
}

}  // namespace tessaren
