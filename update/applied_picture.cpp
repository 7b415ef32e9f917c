// The applied-picture record in the registry.
#include "update/applied_picture.h"

#include "settings/settings_store.h"

namespace tessaren {
namespace {

constexpr const char* kPictureUrl = "pictureurl";
constexpr const char* kEtag = "etag";
constexpr const char* kLastModified = "lastmodified";
constexpr const char* kPictureDisplay = "picturedisplay";
constexpr const char* kPictureLayout = "picturelayout";
constexpr const char* kPictureTime = "picturetime";

std::string validatorOf(ValueStore& store, const char* name) {
  if (auto bytes = store.readBytes(kSettingsKey, name)) return keptValidator(*bytes);
  return keptValidator(store.readText(kSettingsKey, name).value_or(""));
}

}  // namespace

AppliedPicture loadAppliedPicture(ValueStore& store) {
  AppliedPicture picture;
  picture.url = store.readText(kSettingsKey, kPictureUrl).value_or("");
  picture.validators = {validatorOf(store, kEtag), validatorOf(store, kLastModified)};
  if (auto display = store.readNumber(kSettingsKey, kPictureDisplay)) {
    if (auto mode = displayModeFromNumber(static_cast<std::int32_t>(*display))) {
      picture.display = *mode;
      picture.known = true;
    }
  }
  picture.layout = store.readText(kSettingsKey, kPictureLayout).value_or("");
  // Stored as the 32 bits of an unsigned count of seconds (good until 2106).
  picture.appliedAt = store.readNumber(kSettingsKey, kPictureTime).value_or(0);
  return picture;
}

void saveAppliedPicture(ValueStore& store, const AppliedPicture& picture) {
  store.writeText(kSettingsKey, kPictureUrl, picture.url);
  // A validator the server did not send is removed, not kept from an older picture.
  for (const auto& [name, bytes] : {std::pair{kEtag, &picture.validators.etag},
                                    std::pair{kLastModified, &picture.validators.lastModified}}) {
    if (bytes->empty()) {
      store.deleteValue(kSettingsKey, name);
    } else {
      store.writeBytes(kSettingsKey, name, *bytes);
    }
  }
  store.writeNumber(kSettingsKey, kPictureDisplay, static_cast<std::uint32_t>(picture.display));
  store.writeText(kSettingsKey, kPictureLayout, picture.layout);
  store.writeNumber(kSettingsKey, kPictureTime, static_cast<std::uint32_t>(picture.appliedAt));
}

}  // namespace tessaren
