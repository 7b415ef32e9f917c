// The Properties dialog's fields as text, and the check that turns them into settings
// or names the field that is wrong. Nothing is stored unless every field is right.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/settings_store.h"

namespace tessaren {

// The display list's entries; an entry's position is its DisplayMode number.
inline const std::string kDisplayModeNames[] = {
    "Stretch", "Center", "Tile", "[Use Windows Deskop Settings]", "Fit", "Fill", "Span"};

struct PropertiesFields {
  std::string url;
  std::string folder;
  std::string interval;
  std::int32_t display = -1;  // the selected entry, -1 for none
};

enum class PropertiesField { Url, Folder, Interval };

struct FieldProblem {
  PropertiesField field;
  std::string message;  // a sentence for the user, naming the problem
};

struct CheckedFields {
  std::optional<Settings> settings;  // what to store
  std::optional<FieldProblem> problem;
};

// Trims every field, checks the URL, the interval and the folder (creating it, with its
// parents, when missing), and keeps the first-run marker of loaded.
CheckedFields checkFields(const PropertiesFields& fields, const Settings& loaded);

// The fields for settings as loaded.
PropertiesFields fieldsFor(const Settings& settings);

}  // namespace tessaren
