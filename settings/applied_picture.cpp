// The applied-picture record row by row: which field each of its values fills, and the
// settings' load and save of it.
#include "settings/applied_picture.h"

#include "settings/settings_store.h"

namespace tessaren {
namespace {

// One field of the record, and its value in the Config key and in a monitor's key.
struct AppliedField : FieldBinding<AppliedPicture> {
  ValueId perMonitor;
};

// A field that holds the stored text as it is.
template <std::string AppliedPicture::*field>
constexpr AppliedField text(ValueId value, ValueId perMonitor) {
  return {{value, [](AppliedPicture& p, const StoredValue& v) { p.*field = textOf(v); },
           [](const AppliedPicture& p) -> StoredValue { return p.*field; }},
          perMonitor};
}

// A validator, taken only when it is worth sending back.
template <Validators AppliedPicture::*validators, std::string Validators::*field>
constexpr AppliedField validator(ValueId value, ValueId perMonitor) {
  return {{value,
           [](AppliedPicture& p, const StoredValue& v) {
             p.*validators.*field = keptValidator(textOf(v));
           },
           [](const AppliedPicture& p) -> StoredValue { return p.*validators.*field; }},
          perMonitor};
}

const AppliedField kAppliedFields[] = {
    text<&AppliedPicture::url>(ValueId::PictureUrl, ValueId::MonitorPictureUrl),
    text<&AppliedPicture::pictureUrl>(ValueId::PictureAddress, ValueId::MonitorPictureAddress),
    validator<&AppliedPicture::validators, &Validators::etag>(ValueId::Etag, ValueId::MonitorEtag),
    validator<&AppliedPicture::validators, &Validators::lastModified>(ValueId::LastModified,
                                                                      ValueId::MonitorLastModified),
    text<&AppliedPicture::pageUrl>(ValueId::PageUrl, ValueId::MonitorPageUrl),
    validator<&AppliedPicture::pageValidators, &Validators::etag>(ValueId::PageEtag,
                                                                  ValueId::MonitorPageEtag),
    validator<&AppliedPicture::pageValidators, &Validators::lastModified>(
        ValueId::PageLastModified, ValueId::MonitorPageLastModified),
    text<&AppliedPicture::pageDigest>(ValueId::PageDigest, ValueId::MonitorPageDigest),
    text<&AppliedPicture::tiles>(ValueId::TileRecord, ValueId::MonitorTileRecord),
    // A number that is no mode is no record of an applied picture.
    {{ValueId::PictureDisplay,
      [](AppliedPicture& p, const StoredValue& v) {
        if (auto mode = displayModeFromNumber(static_cast<std::int32_t>(numberOf(v)))) {
          p.display = *mode;
          p.known = true;
        }
      },
      [](const AppliedPicture& p) -> StoredValue { return static_cast<std::uint32_t>(p.display); }},
     ValueId::MonitorPictureDisplay},
    text<&AppliedPicture::layout>(ValueId::PictureLayout, ValueId::MonitorPictureLayout),
    {{ValueId::PictureTime,
      [](AppliedPicture& p, const StoredValue& v) { p.appliedAt = numberOf(v); },
      [](const AppliedPicture& p) -> StoredValue {
        return static_cast<std::uint32_t>(p.appliedAt);
      }},
     ValueId::MonitorPictureTime},
};

}  // namespace

AppliedPicture SettingsStore::loadApplied() const {
  AppliedPicture picture;
  for (const AppliedField& field : kAppliedFields) {
    std::optional<StoredValue> stored = readValue(store_, field.value);
    if (!stored) stored = defaultOf(field.value);
    if (stored) field.take(picture, *stored);
  }
  return picture;
}

void SettingsStore::saveApplied(const AppliedPicture& picture) {
  for (const AppliedField& field : kAppliedFields) {
    // Without a display value no picture is known to be on the desktop (another is shown,
    // from the history): the next update draws again whatever it finds.
    if (field.value == ValueId::PictureDisplay && !picture.known) {
      removeValue(store_, field.value);
      continue;
    }
    writeValue(store_, field.value, field.give(picture));
  }
}

AppliedPicture SettingsStore::loadApplied(const std::string& monitor) const {
  const StoreKey at = monitorKey(monitor);
  AppliedPicture picture;
  for (const AppliedField& field : kAppliedFields) {
    std::optional<StoredValue> stored = readValue(store_, field.perMonitor, at);
    if (!stored) stored = defaultOf(field.perMonitor, at);
    if (stored) field.take(picture, *stored);
  }
  return picture;
}

void SettingsStore::saveApplied(const std::string& monitor, const AppliedPicture& picture) {
  const StoreKey at = monitorKey(monitor);
  for (const AppliedField& field : kAppliedFields)
    writeValue(store_, field.perMonitor, field.give(picture), at);
}

}  // namespace tessaren
