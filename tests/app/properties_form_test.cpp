// The Properties check: which fields it refuses and why, and what it stores.
#include "app/properties_form.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fake_http.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;

TEST(PropertiesForm, RefusesWhatCannotWorkAndStoresTheRestTrimmed) {
  const fs::path base = fs::temp_directory_path() / ("tessaren-form-" + std::to_string(getpid()));
  const std::string folder = (base / "new" / "pics").string();
  const Settings loaded{"http://old/x.jpg", "/old/", 60, 1, 2};
  struct Case {
    PropertiesFields fields;
    std::optional<PropertiesField> refused;
  } const cases[] = {
      {{" https://pictures.example/now.jpg ", folder, " 15 ", 5}, std::nullopt},
      {{"www.example.com/cam.jpg", folder, "15", 1}, PropertiesField::Url},
      {{"ftp://files.example/now.jpg", folder, "15", 1}, PropertiesField::Url},
      {{"", folder, "15", 1}, PropertiesField::Url},
      {{"http://h/x", folder, "15 minutes", 1}, PropertiesField::Interval},
      {{"http://h/x", folder, "0", 1}, PropertiesField::Interval},
      {{"http://h/x", folder, "44641", 1}, PropertiesField::Interval},
      {{"http://h/x", "   ", "15", 1}, PropertiesField::Folder},
      {{"http://h/x", "/" + std::string(300, 'a'), "15", 1}, PropertiesField::Folder},
      {{"http://h/x", "/proc/no/such/place", "15", 1}, PropertiesField::Folder},
  };
  for (const Case& c : cases) {
    const CheckedFields checked = checkFields(c.fields, loaded);
    if (c.refused) {
      ASSERT_TRUE(checked.problem) << c.fields.url << " | " << c.fields.interval;
      EXPECT_EQ(checked.problem->field, *c.refused);
      EXPECT_FALSE(checked.problem->message.empty());
      EXPECT_FALSE(checked.settings);
    } else {
      ASSERT_TRUE(checked.settings) << checked.problem->message;
      EXPECT_EQ(*checked.settings,
                (Settings{"https://pictures.example/now.jpg", folder + "\\", 15, 5, 2}));
    }
  }
  // The one accepted folder was created, with its parent.
  EXPECT_TRUE(fs::is_directory(folder + "\\"));
  fs::remove_all(base);
  EXPECT_EQ(fieldsFor(loaded).interval, "60");
}

}  // namespace
}  // namespace tessaren
