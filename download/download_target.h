// Where the picture comes from and where it goes, derived from one copy of the settings
// for one update.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/settings_store.h"

namespace tessaren {

inline const std::string kJpegFileName = "tessaren.jpg";
inline const std::string kBmpFileName = "tessaren.bmp";

struct DownloadTarget {
  std::string url;  // as stored, for the validators that belong to it
  std::string serverName;
  std::string objectPath;  // path and query, as sent in the request line
  std::uint32_t port = 80;
  bool secure = false;  // the URL's scheme is https: the fetch speaks TLS
  std::string tempDir;
  std::int32_t displayMode = 0;
  std::string jpegPath;
  std::string bmpPath;
};

// The target for these settings, or nothing when the URL is not a usable http or https
// URL. The folder is taken as the settings give it (normalised when they were loaded).
std::optional<DownloadTarget> deriveTarget(const Settings& settings);

// The reason an update fails with when deriveTarget finds no usable URL.
std::string unusableUrlReason(const std::string& url);

}  // namespace tessaren
