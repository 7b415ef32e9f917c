// The Properties check: which fields it refuses and why, and what it stores.
#include "app/properties_form.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tessaren {
namespace {

namespace fs = std::filesystem;

TEST(PropertiesForm, RefusesWhatCannotWorkAndStoresTheRestTrimmed) {
  const fs::path base = fs::temp_directory_path() / ("tessaren-form-" + std::to_string(getpid()));
  const std::string folder = (base / "new" / "pics").string();
  const Settings loaded{"http://old/x.jpg", "/old/", 60, DisplayMode::Center};
  struct Case {
    PropertiesFields fields;
    std::optional<PropertiesField> refused;
    const char* message;  // part of what the user is told
  } const cases[] = {
      {{" https://pictures.example/now.jpg ", folder, " 15 ", 5}, {}, ""},
      {{"www.example.com/cam.jpg", folder, "15", 1}, PropertiesField::Url, "http:// or https://"},
      {{"ftp://files.example/now.jpg", folder, "15", 1}, PropertiesField::Url, "can't be used"},
      {{"", folder, "15", 1}, PropertiesField::Url, "can't be used"},
      {{"http://h/x", folder, "15 minutes", 1}, PropertiesField::Interval, "from 1 to 44640"},
      {{"http://h/x", folder, "0", 1}, PropertiesField::Interval, "whole number of minutes"},
      {{"http://h/x", folder, "44641", 1}, PropertiesField::Interval, "(31 days)"},
      {{"http://h/x", "   ", "15", 1}, PropertiesField::Folder, "Enter the folder"},
      {{"http://h/x", "Pictures", "15", 1}, PropertiesField::Folder, "is not a full path"},
      {{"http://h/x", "C:foo", "15", 1}, PropertiesField::Folder, "is not a full path"},
      {{"http://h/x", "/" + std::string(300, 'a'), "15", 1}, PropertiesField::Folder, "too long"},
      {{"http://h/x", "/proc/no/such/place", "15", 1},
       PropertiesField::Folder,
       "can't create the folder"},
      {{"http://h/x", folder, "15", -1}, PropertiesField::Display, "Choose how"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields.url + " | " + c.fields.folder + " | " + c.fields.interval);
    const CheckedFields checked = checkFields(c.fields, loaded, platformFiles(), 1'800'000'000);
    if (c.refused) {
      ASSERT_TRUE(checked.problem);
      EXPECT_EQ(checked.problem->field, *c.refused);
      EXPECT_NE(checked.problem->message.find(c.message), std::string::npos)
          << checked.problem->message;
      EXPECT_FALSE(checked.settings);
    } else {
      ASSERT_TRUE(checked.settings) << checked.problem->message;
      EXPECT_EQ(*checked.settings, (Settings{"https://pictures.example/now.jpg", folder + "\\", 15,
                                             DisplayMode::Fill}));
    }
  }
  // The one accepted folder was created, with its parent.
  EXPECT_TRUE(fs::is_directory(folder + "\\"));
  fs::remove_all(base);
  EXPECT_EQ(fieldsFor(loaded).interval, "60");
}

TEST(PropertiesForm, HistoryLimitsFromNoneToTheMost) {
  const std::string folder = fs::temp_directory_path().string();
  const Settings loaded{"http://old/x.jpg", folder, 60, DisplayMode::Center};
  struct Case {
    const char* pictures;
    const char* megabytes;
    std::optional<PropertiesField> refused;
    std::uint32_t storedPictures, storedMegabytes;
  } const cases[] = {
      {"20", "200", {}, 20, 200},
      {" 0 ", "0", {}, 0, 0},
      {"1000", "100000", {}, 1000, 100'000},
      {"1001", "200", PropertiesField::HistoryPictures, 0, 0},
      {"20", "100001", PropertiesField::HistoryMegabytes, 0, 0},
      {"", "200", PropertiesField::HistoryPictures, 0, 0},
      {"20", "-1", PropertiesField::HistoryMegabytes, 0, 0},
      {"twenty", "200", PropertiesField::HistoryPictures, 0, 0},
      {"20", "99999999999", PropertiesField::HistoryMegabytes, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pictures) + " | " + c.megabytes);
    PropertiesFields fields = fieldsFor(loaded);
    fields.historyPictures = c.pictures;
    fields.historyMegabytes = c.megabytes;
    const CheckedFields checked = checkFields(fields, loaded, platformFiles(), 1'800'000'000);
    if (c.refused) {
      ASSERT_TRUE(checked.problem);
      EXPECT_EQ(checked.problem->field, *c.refused);
      EXPECT_NE(checked.problem->message.find("from 0 (none)"), std::string::npos);
    } else {
      ASSERT_TRUE(checked.settings) << checked.problem->message;
      EXPECT_EQ(checked.settings->historyPictures, c.storedPictures);
      EXPECT_EQ(checked.settings->historyMegabytes, c.storedMegabytes);
    }
  }
  EXPECT_EQ(fieldsFor(Settings{}).historyMegabytes, "200");
}

}  // namespace
}  // namespace tessaren
