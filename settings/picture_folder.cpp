// The picture folder's rules and the names of Tessaren's files in it.
#include "settings/picture_folder.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"

namespace tessaren {
namespace {

// MAX_PATH less its NUL.
constexpr std::size_t kLongestPath = 259;

bool isFullPath(const std::string& folder) {
  // "C:\..." or "\\server\share\...".
  if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
      folder[1] == ':' && isPathSeparator(folder[2]))
    return true;
  if (folder.size() >= 2 && isPathSeparator(folder[0]) && isPathSeparator(folder[1])) {
    const std::size_t server = folder.find_first_of("\\/", 2);
    if (server == std::string::npos || server == 2) return false;
    const std::size_t share = folder.find_first_of("\\/", server + 1);
    return share != std::string::npos && share > server + 1;
  }
#ifndef _WIN32
  // The native build runs the same code on POSIX paths.
  return !folder.empty() && folder[0] == '/';
#else
  return false;
#endif
}

}  // namespace

std::string monitorPictureFileName(const std::string& monitor) {
  // FNV-1a: short, and the same for the same name on every start.
  std::uint32_t hash = 0x811c9dc5u;
  for (unsigned char c : monitor) hash = (hash ^ c) * 0x01000193u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(hash));
  return kMonitorPicturePrefix + hex + kMonitorPictureSuffix;
}

std::string temporaryFileName(const std::string& finalName) {
  // Someone who can write into the folder cannot plant a link under the next name.
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(unpredictableBits()));
  // "tessaren.jpg" becomes "tessaren-9c0e77d41b5f28a3.jpg.part".
  const std::size_t dot = finalName.find('.');
  return kTemporaryPrefix + hex + finalName.substr(dot) + kTemporarySuffix;
}

std::string tileFileName(std::size_t index) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%zx", index);
  return std::string("tile.") + hex;
}

namespace {

// Windows compares paths without regard to (ASCII) case.
bool samePath(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string shownBitmapName(const std::string& folder, const std::string& wallpaper) {
  return samePath(wallpaper, folder + kOtherBitmapFileName) ? kOtherBitmapFileName
                                                            : kBitmapFileName;
}

std::string nextBitmapName(const std::string& folder, const std::string& wallpaper) {
  return samePath(wallpaper, folder + kBitmapFileName) ? kOtherBitmapFileName : kBitmapFileName;
}

std::string otherBitmapName(const std::string& name) {
  return name == kBitmapFileName ? kOtherBitmapFileName : kBitmapFileName;
}

std::string normaliseFolder(const std::string& text) {
  std::string folder = trimmed(text);
  if (!folder.empty() && !isPathSeparator(folder.back())) folder += '\\';
  return folder;
}

std::optional<std::string> folderProblem(const std::string& folder) {
  if (folder.empty()) return "no folder is set";
  if (!isFullPath(folder))
    return "the folder " + displaySafe(folder, 80) +
           " is not a full path (such as C:\\Pictures\\ or \\\\server\\share\\)";
  const std::size_t longestName = std::max(
      {temporaryFileName(kPictureFileName).size(), temporaryFileName(kBitmapFileName).size(),
       temporaryFileName(tileFileName(kLongestTileNumber)).size()});
  const std::size_t limit = kLongestPath - longestName;
  const std::size_t length = utf16Length(folder);
  if (length <= limit) return std::nullopt;
  return "the folder's path is too long (" + std::to_string(length) + " characters; at most " +
         std::to_string(limit) + ")";
}

}  // namespace tessaren
