// The download target of one update.
#include "download/download_target.h"

#include "download/url_parser.h"
#include "platform/text.h"

namespace tessaren {

std::optional<DownloadTarget> deriveTarget(const Settings& settings) {
  UrlParts parts;
  if (!parseUrl(settings.url, parts)) return std::nullopt;
  DownloadTarget target;
  target.url = settings.url;
  target.serverName = parts.serverName;
  target.objectPath = parts.objectPath;
  target.port = parts.port;
  target.secure = parts.secure;
  target.tempDir = settings.temp;
  target.displayMode = settings.display;
  target.jpegPath = target.tempDir + kJpegFileName;
  target.bmpPath = target.tempDir + kBmpFileName;
  return target;
}

std::string unusableUrlReason(const std::string& url) {
  // Long enough to recognise, short enough for the tip and one log line.
  const std::string shown = utf8Prefix(trimmed(url), 60);
  return "not a usable URL: " + (shown.empty() ? std::string("(empty)") : shown) +
         (shown.size() < trimmed(url).size() ? "..." : "");
}

}  // namespace tessaren
