// The suggested name of a saved picture.
#include "app/picture_name.h"

#include "update/clock.h"

namespace tessaren {

std::string extensionOf(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg:
      return "jpg";
    case PictureFormat::Png:
      return "png";
    case PictureFormat::WebP:
      return "webp";
    case PictureFormat::Gif:
      break;
  }
  return "gif";
}

std::string suggestedPictureName(std::time_t when, std::optional<PictureFormat> format,
                                 std::time_t now) {
  const std::time_t shown = when > 0 ? when : now;
  const std::tm parts = localTime(shown);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H%M", &parts);
  return std::string("Tessaren ") + stamp + "." + extensionOf(format.value_or(PictureFormat::Jpeg));
}

}  // namespace tessaren
