// The settings: every value name, type and default appears here once.
#include "settings/settings_store.h"

#include <algorithm>

#include "settings/default_directory.h"
#include "settings/storage.h"
#include "platform/text.h"

namespace tessaren {
namespace {

constexpr const char* kUrl = "url";
constexpr const char* kTemp = "temp";
constexpr const char* kInterval = "interval";
constexpr const char* kDisplay = "display";
constexpr const char* kInstall = "install";
constexpr const char* kPictureUrl = "pictureurl";
constexpr const char* kEtag = "etag";
constexpr const char* kLastModified = "lastmodified";
constexpr const char* kPictureDisplay = "picturedisplay";
constexpr const char* kPictureTime = "picturetime";

// The longest file name written into the download folder: "tessaren.jpg.part".
constexpr std::size_t kLongestFileName = 17;
// MAX_PATH less its NUL.
constexpr std::size_t kLongestPath = 259;

std::string textOr(const char* name, std::string fallback) {
  RegistryAccess().readText(kSettingsSubkey, name, fallback);
  return fallback;
}

std::int32_t numberOr(const char* name, std::int32_t fallback) {
  RegistryAccess().readNumber(kSettingsSubkey, name, fallback);
  return fallback;
}

}  // namespace

Settings defaultSettings() {
  return Settings{kDefaultUrl, defaultDownloadDirectory(), kDefaultInterval, kDefaultDisplay,
                  kInstalledMarker};
}

Settings loadSettings() {
  Settings settings;
  settings.url = textOr(kUrl, kDefaultUrl);
  settings.temp = normaliseDirectory(textOr(kTemp, ""));
  if (settings.temp.empty()) settings.temp = defaultDownloadDirectory();
  settings.interval = clampInterval(numberOr(kInterval, kDefaultInterval));
  settings.display = numberOr(kDisplay, kDefaultDisplay);
  settings.install = numberOr(kInstall, 0);
  return settings;
}

void saveSettings(const Settings& settings) {
  RegistryAccess registry;
  registry.writeText(kSettingsSubkey, kUrl, settings.url);
  registry.writeText(kSettingsSubkey, kTemp, settings.temp);
  registry.writeNumber(kSettingsSubkey, kInterval, settings.interval);
  registry.writeNumber(kSettingsSubkey, kDisplay, settings.display);
  // The marker goes last, so that it is stored only after the other four.
  registry.writeNumber(kSettingsSubkey, kInstall, settings.install);
}

void writeDefaults() { saveSettings(defaultSettings()); }

void ensureDefaults() {
  if (numberOr(kInstall, 0) != kInstalledMarker) writeDefaults();
}

AppliedPicture loadAppliedPicture() {
  AppliedPicture picture;
  picture.url = textOr(kPictureUrl, "");
  picture.etag = textOr(kEtag, "");
  picture.lastModified = textOr(kLastModified, "");
  picture.display = numberOr(kPictureDisplay, -1);
  // Stored as the 32 bits of an unsigned count of seconds (good until 2106).
  picture.appliedAt = static_cast<std::uint32_t>(numberOr(kPictureTime, 0));
  return picture;
}

void saveAppliedPicture(const AppliedPicture& picture) {
  RegistryAccess registry;
  registry.writeText(kSettingsSubkey, kPictureUrl, picture.url);
  // A validator the server did not send is removed, not kept from an older picture.
  for (const auto& [name, text] :
       {std::pair{kEtag, &picture.etag}, std::pair{kLastModified, &picture.lastModified}}) {
    if (text->empty()) {
      registry.deleteValue(kSettingsSubkey, name);
    } else {
      registry.writeText(kSettingsSubkey, name, *text);
    }
  }
  registry.writeNumber(kSettingsSubkey, kPictureDisplay, picture.display);
  registry.writeNumber(kSettingsSubkey, kPictureTime,
                       static_cast<std::int32_t>(static_cast<std::uint32_t>(picture.appliedAt)));
}

std::string normaliseDirectory(const std::string& text) {
  std::string directory = trimmed(text);
  if (!directory.empty() && directory.back() != '\\' && directory.back() != '/') directory += '\\';
  return directory;
}

std::optional<std::string> directoryProblem(const std::string& directory) {
  const std::size_t limit = kLongestPath - kLongestFileName;
  const std::size_t length = utf16Length(directory);
  if (length <= limit) return std::nullopt;
  return "the folder's path is too long (" + std::to_string(length) + " characters; at most " +
         std::to_string(limit) + ")";
}

std::optional<std::int32_t> intervalFromField(const std::string& text) {
  const std::string digits = trimmed(text);
  if (digits.empty() || digits.size() > 6) return std::nullopt;
  std::int32_t minutes = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    minutes = minutes * 10 + (c - '0');
  }
  if (minutes < kShortestInterval || minutes > kLongestInterval) return std::nullopt;
  return minutes;
}

std::int32_t clampInterval(std::int32_t minutes) {
  return std::clamp(minutes, kShortestInterval, kLongestInterval);
}

}  // namespace tessaren
