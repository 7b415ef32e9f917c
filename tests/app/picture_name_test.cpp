// The name "Save picture as..." suggests.
#include "app/picture_name.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

namespace tessaren {
namespace {

TEST(PictureName, TheTimeAndTheRealFormat) {
  setenv("TZ", "UTC", 1);
  tzset();
  const std::time_t when = 1'796'738'700;  // 2026-12-08 14:05 UTC
  EXPECT_EQ(suggestedPictureName(when, PictureFormat::Jpeg, 0), "Tessaren 2026-12-08 1405.jpg");
  EXPECT_EQ(suggestedPictureName(when, PictureFormat::Png, 0), "Tessaren 2026-12-08 1405.png");
  EXPECT_EQ(suggestedPictureName(when, PictureFormat::WebP, 0), "Tessaren 2026-12-08 1405.webp");
  EXPECT_EQ(suggestedPictureName(when, PictureFormat::Gif, 0), "Tessaren 2026-12-08 1405.gif");
  EXPECT_EQ(suggestedPictureName(0, std::nullopt, when + 60), "Tessaren 2026-12-08 1406.jpg")
      << "a picture of unknown time and format: now, and the name it is kept under";
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace tessaren
