// The download target and its derivation from the stored settings.
#include "download/download_target.h"

#include "download/url_parser.h"
#include "settings/default_directory.h"
#include "settings/settings_store.h"

namespace tessaren {
namespace {

// The derivation reads through one long-lived accessor, kept for this purpose.
const RegistryAccess& targetRegistry() {
  static const RegistryAccess registry;
  return registry;
}

void buildLocalPaths(DownloadTarget& target) {
  // Joined as they are: a directory without a trailing separator runs into the name.
  target.jpegPath = target.tempDir + kJpegFileName;
  target.bmpPath = target.tempDir + kBmpFileName;
}

}  // namespace

DownloadTarget initialDownloadTarget() {
  DownloadTarget target;
  target.serverName = kDefaultServerName;
  target.objectPath = kDefaultObjectPath + " ";
  target.tempDir = defaultDownloadDirectory();
  buildLocalPaths(target);
  target.port = 80;
  target.displayMode = 0;
  return target;
}

DownloadTarget& downloadTarget() {
  static DownloadTarget target = initialDownloadTarget();
  return target;
}

void resetDownloadTarget() { downloadTarget() = initialDownloadTarget(); }

void deriveTarget() {
  DownloadTarget& target = downloadTarget();
  const RegistryAccess& registry = targetRegistry();
  std::string url;
  registry.readText(kSettingsSubkey, "temp", target.tempDir);
  registry.readNumber(kSettingsSubkey, "display", target.displayMode);
  registry.readText(kSettingsSubkey, "url", url);

  UrlParts parts{target.serverName, target.objectPath, target.port, target.secure};
  if (parseUrl(url, parts)) {
    target.serverName = parts.serverName;
    target.objectPath = parts.objectPath;
    target.port = parts.port;
    target.secure = parts.secure;
  }
  buildLocalPaths(target);
}

DownloadJob::DownloadJob() { deriveTarget(); }

}  // namespace tessaren
