// The applied-picture record row by row: which field each of its values fills, and the
// settings' load and save of it.
#include "settings/applied_picture.h"

#include "settings/settings_store.h"

namespace tessaren {
namespace {

using AppliedField = FieldBinding<AppliedPicture>;

// A field that holds the stored text as it is.
template <std::string AppliedPicture::*field>
constexpr AppliedField text(ValueId value) {
  return {value, [](AppliedPicture& p, const StoredValue& v) { p.*field = textOf(v); },
          [](const AppliedPicture& p) -> StoredValue { return p.*field; }};
}

// A validator, taken only when it is worth sending back.
template <Validators AppliedPicture::*validators, std::string Validators::*field>
constexpr AppliedField validator(ValueId value) {
  return {value,
          [](AppliedPicture& p, const StoredValue& v) {
            p.*validators.*field = keptValidator(textOf(v));
          },
          [](const AppliedPicture& p) -> StoredValue { return p.*validators.*field; }};
}

const AppliedField kAppliedFields[] = {
    text<&AppliedPicture::url>(ValueId::PictureUrl),
    text<&AppliedPicture::pictureUrl>(ValueId::PictureAddress),
    validator<&AppliedPicture::validators, &Validators::etag>(ValueId::Etag),
    validator<&AppliedPicture::validators, &Validators::lastModified>(ValueId::LastModified),
    text<&AppliedPicture::pageUrl>(ValueId::PageUrl),
    validator<&AppliedPicture::pageValidators, &Validators::etag>(ValueId::PageEtag),
    validator<&AppliedPicture::pageValidators, &Validators::lastModified>(
        ValueId::PageLastModified),
    text<&AppliedPicture::pageDigest>(ValueId::PageDigest),
    text<&AppliedPicture::tiles>(ValueId::TileRecord),
    // A number that is no mode is no record of an applied picture.
    {ValueId::PictureDisplay,
     [](AppliedPicture& p, const StoredValue& v) {
       if (auto mode = displayModeFromNumber(static_cast<std::int32_t>(numberOf(v)))) {
         p.display = *mode;
         p.known = true;
       }
     },
     [](const AppliedPicture& p) -> StoredValue { return static_cast<std::uint32_t>(p.display); }},
    text<&AppliedPicture::layout>(ValueId::PictureLayout),
    {ValueId::PictureTime,
     [](AppliedPicture& p, const StoredValue& v) { p.appliedAt = numberOf(v); },
     [](const AppliedPicture& p) -> StoredValue {
       return static_cast<std::uint32_t>(p.appliedAt);
     }},
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

}  // namespace tessaren
