// What Tessaren knows of the picture on the desktop, kept beside the settings so that the
// next request can ask the server whether it has changed (ETag and Last-Modified, exactly
// as the server sent them), and so that a picture that has not changed is not written
// again unless it must be drawn anew. SettingsStore loads and saves it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/http_validators.h"
#include "settings/display_mode.h"

namespace tessaren {

struct AppliedPicture {
  std::string url{};         // the address in the settings (a picture, a page, a template)
  std::string pictureUrl{};  // the picture's own address, which the validators belong to
  Validators validators{};   // only while tessaren.jpg holds the bytes they describe
  // When url named a page, a feed or a document: its own address, validators and a digest
  // of its bytes, so that an unchanged page costs no picture request.
  std::string pageUrl{};
  Validators pageValidators{};
  std::string pageDigest{};
  // When pictureUrl names a grid of tiles: for each tile, row by row, a digest of its bytes
  // and its validators, one line each ("digest<TAB>etag<TAB>last-modified"); tessaren.jpg
  // then holds the tiles put together (a PNG).
  std::string tiles{};
  DisplayMode display = DisplayMode::DesktopSettings;  // the mode it was applied with
  bool known = false;          // a picture was applied at all (the display value is there)
  std::string layout{};        // the monitors it was drawn for (DesktopApi::monitorLayout)
  std::int64_t appliedAt = 0;  // when it last changed, seconds since 1970 (0: unknown)

  bool operator==(const AppliedPicture&) const = default;
};

}  // namespace tessaren
