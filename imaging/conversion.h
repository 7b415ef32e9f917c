// JPEG file to BMP file: at the picture's own size, streamed a band of rows at a time,
// or drawn onto the monitors for Fit, Fill and Span.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/jpeg_decoder.h"
#include "imaging/picture_geometry.h"

namespace tessaren {

struct ConversionRequest {
  // Fit, Fill or Span onto `monitors`; without it the picture keeps its own size.
  std::optional<FitMode> fit;
  std::vector<Monitor> monitors;
  bool tiled = false;  // the wallpaper is tiled from the primary monitor (older Windows)
  // Write a picture whose file ended early (grey from there down) instead of refusing it.
  bool keepCutShort = false;
  // Checked between bands of rows; when it turns true the conversion ends as "cancelled".
  const std::atomic<bool>* stop = nullptr;
  // The bytes free on the BMP file's volume, when known.
  std::optional<std::uint64_t> freeBytes;
  // The name the reasons give for the BMP file; the path written when empty.
  std::string shownPath;
  DecodeLimits limits;
};

struct ConversionResult {
  bool written = false;    // a complete BMP file is in place
  bool cutShort = false;   // written from a JPEG that ended early (keepCutShort)
  std::string reason;      // why nothing was written; empty otherwise
  std::int32_t width = 0;  // the picture's own size, once its header was read
  std::int32_t height = 0;
};

// Free space the volume must keep beyond the BMP file itself.
inline constexpr std::uint64_t kFreeSpaceHeadroom = 64ull << 20;

// Writes bmpPath, replacing what is there. A conversion that fails or is stopped removes
// the file it started. The target volume must have the BMP file's size plus
// kFreeSpaceHeadroom free, as request.freeBytes tells.
ConversionResult convertJpegToBitmap(const std::string& jpegPath, const std::string& bmpPath,
                                     const ConversionRequest& request = {});

// The directory part of a path with either separator ("." for a bare name), and the
// volume to name in a message: "C:\" for a path on a drive, the directory otherwise.
std::string directoryOf(const std::string& path);
std::string volumeOf(const std::string& path);

}  // namespace tessaren
