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
      {{"ftp://files.example/now.jpg", folder, "15", 1},
       PropertiesField::Url,
       "must be the http://"},
      {{"", folder, "15", 1}, PropertiesField::Url, "such as https://example.com/picture.jpg."},
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
      {{"http://h/x", folder, "15", 1, false, "images/0/url"},
       PropertiesField::Pointer,
       "\u201cPicture at\u201d must start with /, such as /images/0/url."},
      {{"http://h/x", folder, "15", 1, false, "/a~2"},
       PropertiesField::Pointer,
       "\u201cPicture at\u201d ~ must be followed by 0 or 1 (~0 is ~, ~1 is /)."},
      {{"http://h/{utc:%Q}.png", folder, "15", 1}, PropertiesField::Url, "The URL can't be used: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields.url + " | " + c.fields.folder + " | " + c.fields.interval);
    const CheckedFields checked = checkFields(c.fields, loaded, platformFiles(), 1'800'000'000);
    if (c.refused) {
      ASSERT_TRUE(checked.problem);
      EXPECT_EQ(checked.problem->field, *c.refused);
      const std::string& message = checked.problem->message;
      EXPECT_NE(message.find(c.message), std::string::npos) << message;
      // One sentence, as Check's answers are: a capital, one full stop, at the end.
      EXPECT_TRUE(message.front() == 'T' || message.front() == 'E' || message.front() == 'C' ||
                  message.rfind("\u201c", 0) == 0)
          << message;
      EXPECT_EQ(message.back(), '.') << message;
      EXPECT_EQ(message.find(". "), std::string::npos) << "more than one sentence: " << message;
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

// A monitor's own fields are checked as the common ones, and a problem names the monitor
// so that the dialog can show it; a monitor left out of the fields loses its own source.
TEST(PropertiesForm, EachMonitorsOwnSource) {
  const std::string folder = fs::temp_directory_path().string();
  Settings loaded{"http://old/x.jpg", folder + "\\", 60, DisplayMode::Center};
  loaded.monitorSources["gone"] = {"http://gone/", "", DisplayMode::Fit};
  const int fill = static_cast<int>(DisplayMode::Fill), span = static_cast<int>(DisplayMode::Span);
  struct Case {
    MonitorFields own;
    std::optional<PropertiesField> refused;
  } const cases[] = {
      {{" https://radar.example/r.png ", " /0/url ", fill}, {}},
      {{"radar.example/r.png", "", fill}, PropertiesField::Url},
      {{"https://radar.example/r.json", "no/slash", fill}, PropertiesField::Pointer},
      {{"https://radar.example/r.png", "", span}, PropertiesField::Display},
      {{"https://radar.example/r.png", "", 99}, PropertiesField::Display},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.own.url + " | " + c.own.pointer + " | " + std::to_string(c.own.display));
    PropertiesFields fields = fieldsFor(loaded);
    EXPECT_EQ(fields.monitorSources.at("gone").url, "http://gone/");
    fields.monitorSources.erase("gone");
    fields.monitorSources["right"] = c.own;
    const CheckedFields checked = checkFields(fields, loaded, platformFiles(), 1'800'000'000);
    if (c.refused) {
      ASSERT_TRUE(checked.problem);
      EXPECT_EQ(checked.problem->field, *c.refused);
      EXPECT_EQ(checked.problem->monitor, "right");
    } else {
      ASSERT_TRUE(checked.settings) << checked.problem->message;
      EXPECT_EQ(checked.settings->monitorSources,
                (std::map<std::string, MonitorSource>{
                    {"right", {"https://radar.example/r.png", "/0/url", DisplayMode::Fill}}}));
      EXPECT_EQ(checked.settings->url, "http://old/x.jpg");
    }
  }
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
