// The name "Save picture as..." suggests: the picture's time and the extension of its real
// format, whatever the kept file is called ("Tessaren 2026-12-08 1405.png").
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "imaging/picture_decoder.h"

namespace tessaren {

// when: the picture's time (0: unknown, then now's); local time.
std::string suggestedPictureName(std::time_t when, std::optional<PictureFormat> format,
                                 std::time_t now);

// "jpg", "png", "webp", "gif".
std::string extensionOf(PictureFormat format);

}  // namespace tessaren
