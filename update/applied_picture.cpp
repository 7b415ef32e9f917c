// The applied-picture record in the registry.
#include "update/applied_picture.h"

#include "settings/settings_store.h"

namespace tessaren {
namespace {

constexpr const char* kSettingsUrl = "pictureurl";  // its name from before pages were read
constexpr const char* kPictureAddress = "pictureaddress";
constexpr const char* kPageUrl = "pageurl";
constexpr const char* kPageEtag = "pageetag";
constexpr const char* kPageLastModified = "pagelastmodified";
constexpr const char* kPageDigest = "pagedigest";
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
  picture.url = store.readText(kSettingsKey, kSettingsUrl).value_or("");
  // An earlier version kept no picture address: the settings' address was the picture's.
  picture.pictureUrl = store.readText(kSettingsKey, kPictureAddress).value_or(picture.url);
  picture.validators = {validatorOf(store, kEtag), validatorOf(store, kLastModified)};
  picture.pageUrl = store.readText(kSettingsKey, kPageUrl).value_or("");
  picture.pageValidators = {validatorOf(store, kPageEtag), validatorOf(store, kPageLastModified)};
  picture.pageDigest = store.readText(kSettingsKey, kPageDigest).value_or("");
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
  store.writeText(kSettingsKey, kSettingsUrl, picture.url);
  store.writeText(kSettingsKey, kPictureAddress, picture.pictureUrl);
  store.writeText(kSettingsKey, kPageUrl, picture.pageUrl);
  store.writeText(kSettingsKey, kPageDigest, picture.pageDigest);
  // A validator the server did not send is removed, not kept from an older picture.
  for (const auto& [name, bytes] :
       {std::pair{kEtag, &picture.validators.etag},
        std::pair{kLastModified, &picture.validators.lastModified},
        std::pair{kPageEtag, &picture.pageValidators.etag},
        std::pair{kPageLastModified, &picture.pageValidators.lastModified}}) {
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
