// Any picture file Tessaren reads to a BMP file: at the picture's own size, streamed a
// band of rows at a time where the format allows it, or drawn onto the monitors for Fit,
// Fill and Span.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/mosaic.h"
#include "imaging/picture_decoder.h"
#include "imaging/picture_geometry.h"
#include "platform/failure.h"

namespace tessaren {

struct ConversionRequest {
  // Fit, Fill or Span onto `monitors`; nothing (or a mode that is not drawn for the
  // monitors) keeps the picture's own size, as Stretch, Center, Tile and the desktop's
  // own settings show it.
  std::optional<DisplayMode> drawn;
  std::vector<Monitor> monitors;
  bool tiled = false;  // the wallpaper is tiled from the primary monitor (older Windows)
  // Write a picture whose file ended early (filler from there down) instead of refusing it.
  bool keepCutShort = false;
  // Looked at between bands of rows, inside the decoders' long steps and before each file
  // is created; when it turns true the conversion ends as Cancelled.
  const std::atomic<bool>* stop = nullptr;
  // The bytes free on the BMP file's volume, when known.
  std::optional<std::uint64_t> freeBytes;
  // The BMP's path must name nothing yet (an update's own file in a folder others may
  // write into: never written through a link planted under its name); else it is replaced.
  bool newFile = false;
  // The name the reasons give for the BMP file; the path written when empty.
  std::string shownPath;
  DecodeLimits limits;
  // The server's Content-Type, only for the words of a NotAPicture reason.
  std::string contentType;
  // A mosaic only: the assembled picture goes here as a PNG file while it is drawn.
  PictureSink assembled;
};

struct ConversionResult {
  std::optional<Failure> failure;  // nothing: a complete BMP file is in place
  std::int32_t width = 0;          // the picture's own size, once its header was read
  std::int32_t height = 0;
  std::optional<PictureFormat> format;  // once the first bytes were recognised
  bool cutShort = false;                // written from a file that ended early (keepCutShort)
};

// Free space the volume must keep beyond the BMP file itself.
inline constexpr std::uint64_t kFreeSpaceHeadroom = 64ull << 20;
// The largest BMP shown at the picture's own size: beyond it the desktop takes seconds to
// load the file and gigabytes to hold it, and Fit or Fill show the picture better.
inline constexpr std::uint64_t kMaxFullSizeBytes = 1ull << 30;
inline constexpr std::int32_t kMaxFullSizeSide = 32767;

// Writes bmpPath, replacing what is there. The format comes from the file's first bytes,
// never from its name. A conversion that fails or is stopped removes the file it started.
// The target volume must have the BMP file's size plus kFreeSpaceHeadroom free, as
// request.freeBytes tells.
ConversionResult convertToBitmap(const std::string& picturePath, const std::string& bmpPath,
                                 const ConversionRequest& request = {});

// One picture of a wallpaper drawn from several: its file, how it is placed (Fit, Fill,
// Span, Stretch or Center) and the monitors it shows on.
struct WallpaperPicture {
  std::string picturePath;
  DisplayMode mode = DisplayMode::Fill;
  std::vector<Monitor> monitors;
};

struct WallpaperResult {
  std::optional<Failure> failure;  // nothing: a complete BMP file is in place
  // One per picture drawn, in order; drawing ends at the first that fails.
  std::vector<ConversionResult> pictures;
};

// Draws the wallpaper from a set of pictures: each onto its monitors in its own mode, all
// on one canvas the size of request.monitors' bounding box (black where no picture is
// drawn), laid out for a spanned or (request.tiled) tiled wallpaper like the single
// picture's Fit, Fill and Span, and writes it to bmpPath. The pictures are decoded one
// after the other, so memory is that of the canvas and of one picture at a time. A
// failure of any picture leaves no file. request.drawn is not looked at.
WallpaperResult drawWallpaper(const std::vector<WallpaperPicture>& pictures,
                              const std::string& bmpPath, const ConversionRequest& request);

// The same for a picture made of tiles (imaging/mosaic.h): the format is the first tile's,
// the size the whole mosaic's.
ConversionResult convertToBitmap(const Mosaic& mosaic, const std::string& bmpPath,
                                 const ConversionRequest& request = {});

// The format and the size of a picture file, from its first bytes and its header alone:
// nothing is decoded and nothing written. The failure says why it is no picture we read.
ConversionResult inspectPicture(const std::string& picturePath, const std::string& contentType);
// Every tile's header: the first tile's format, the whole mosaic's size, or why the tiles
// make no picture (a tile of another size, a whole beyond the limits). stop as in
// ConversionRequest.
ConversionResult inspectMosaic(const Mosaic& mosaic, const std::atomic<bool>* stop = nullptr);

// The directory part of a path with either separator ("." for a bare name), and the
// volume to name in a message: "C:\" for a path on a drive, the directory otherwise.
std::string directoryOf(const std::string& path);
std::string volumeOf(const std::string& path);

}  // namespace tessaren
