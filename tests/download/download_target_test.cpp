// The download target of one update, derived from a settings copy: the request's parts,
// the local paths, and the reason given for a URL that can't be used.
#include "download/download_target.h"

#include <gtest/gtest.h>

namespace tessaren {
namespace {

Settings settingsWith(const std::string& url, const std::string& folder = "D:\\Pics\\") {
  return Settings{url, folder, 60, 5, 2};
}

TEST(DownloadTargetTest, UsableUrlGivesTheRequestAndTheLocalPaths) {
  const std::optional<DownloadTarget> target =
      deriveTarget(settingsWith("https://pictures.example:8443/sat/now.jpg?size=big#view"));
  ASSERT_TRUE(target);
  EXPECT_EQ(target->url, "https://pictures.example:8443/sat/now.jpg?size=big#view");
  EXPECT_EQ(target->serverName, "pictures.example");
  EXPECT_EQ(target->objectPath, "/sat/now.jpg?size=big");
  EXPECT_EQ(target->port, 8443u);
  EXPECT_TRUE(target->secure);
  EXPECT_EQ(target->displayMode, 5);
  EXPECT_EQ(target->jpegPath, "D:\\Pics\\tessaren.jpg");
  EXPECT_EQ(target->bmpPath, "D:\\Pics\\tessaren.bmp");
}

// No previous target is carried over any more: an update with such a URL fails and says so.
TEST(DownloadTargetTest, UnusableUrlsAreRefusedWithTheirText) {
  struct Case {
    std::string url;
    std::string reason;
  } const cases[] = {
      {"www.example.com/cam.jpg", "not a usable URL: www.example.com/cam.jpg"},
      {"ftp://files.example/now.jpg", "not a usable URL: ftp://files.example/now.jpg"},
      {"", "not a usable URL: (empty)"},
      {"http://", "not a usable URL: http://"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(deriveTarget(settingsWith(c.url))) << c.url;
    EXPECT_EQ(unusableUrlReason(c.url), c.reason);
  }
  // A long one is shown cut, enough to recognise it.
  EXPECT_EQ(unusableUrlReason("htp://" + std::string(100, 'h')),
            "not a usable URL: htp://" + std::string(54, 'h') + "...");
}

}  // namespace
}  // namespace tessaren
