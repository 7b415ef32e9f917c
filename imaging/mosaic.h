// A picture published as a grid of tiles, each a picture file of its own, read as one
// picture: a decoder that hands out the mosaic's rows a row of tiles at a time, so that
// the conversions draw it as they draw any picture while only one row of tiles is open.
// As it goes, the assembled picture can be written out as a PNG file, the picture kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/picture_decoder.h"
#include "platform/failure.h"

namespace tessaren {

struct Mosaic {
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  std::vector<std::string> tiles;  // the files, row by row: tiles[row * columns + column]
  std::vector<std::string> names;  // how reasons name each tile ("tile x=2, y=1"), same order
};

// Where bytes go as they are made; a failure ends the writing with it.
using PictureSink = std::function<std::optional<Failure>(const void* data, std::size_t size)>;

// The mosaic as one picture. Every tile must have the size of the first; the whole is
// bounded by the limits as one picture whose every pixel is decoded (a JPEG tile is never
// shrunk), and a row of tiles by maxPixelBytes, before any pixel is decoded. When assembled
// is given, every row read also goes into a PNG written through it, finished by finish().
// format(): the first tile's.
std::unique_ptr<PictureDecoder> makeMosaicDecoder(const Mosaic& mosaic, PictureSink assembled,
                                                  std::optional<PictureFormat>& format);

// Writes rows of three bytes a pixel (blue, green, red), top first, as an 8-bit RGB PNG
// through a sink: compressed for speed rather than size, as a copy kept on the disk.
class PngWriter {
 public:
  PngWriter();
  ~PngWriter();
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  std::optional<Failure> start(std::int32_t width, std::int32_t height, PictureSink sink);
  std::optional<Failure> row(const std::uint8_t* pixels);  // after the last, the file is whole

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tessaren
