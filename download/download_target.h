// Where the picture comes from and where it goes: the process-wide download target,
// derived afresh from the stored settings before every download.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

inline const std::string kJpegFileName = "tessaren.jpg";
inline const std::string kBmpFileName = "tessaren.bmp";

struct DownloadTarget {
  std::string serverName;
  std::string objectPath;  // path and query, as sent in the request line
  std::uint32_t port = 80;
  bool secure = false;  // the URL's scheme is https: the fetch speaks TLS
  std::string tempDir;
  std::int32_t displayMode = 0;
  std::string jpegPath;
  std::string bmpPath;
};

// The initial target: the default server and object path (with its trailing blank),
// port 80, and the default download directory with the two file names appended.
DownloadTarget initialDownloadTarget();

// The one target of the process, set to its initial values on first use.
DownloadTarget& downloadTarget();
// Back to the initial values, for tests.
void resetDownloadTarget();

// Reads "temp", "display" and "url" (in that order) and rewrites the target; a value
// that cannot be read, or a URL that does not parse, leaves the fields it feeds as they were.
void deriveTarget();

// One update's way to the download subsystem: constructing it derives the target.
class DownloadJob {
 public:
  DownloadJob();
  virtual ~DownloadJob() = default;
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  // Downloads the picture and applies it: 0 on success, 1 on failure.
  std::int32_t fetch();
  // Converts the downloaded file and makes it the wallpaper; true when the wallpaper
  // was updated.
  bool convertAndApply(const std::string& jpegPath, const std::string& bmpPath);
};

}  // namespace tessaren
