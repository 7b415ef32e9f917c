// The one maker of test pictures, in every format Tessaren reads, each encoded by its own
// library (libjpeg, libspng, libwebp, giflib) or put together chunk by chunk where a test
// needs what no encoder writes: an animated WebP with chosen blending, a broken checksum,
// a picture that inflates to gigabytes. Used by the imaging tests, the Wine tests, the
// fuzzing seeds and the benchmarks (tessaren-test-picture); small file helpers with it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessaren::test {

using Bytes = std::vector<std::uint8_t>;

// Pixels, top row first, `components` bytes each.
// A smooth picture with some detail, like a weather chart.
Bytes patternPixels(int width, int height, int components);
// One colour everywhere.
Bytes flatPixels(int width, int height, const Bytes& colour);
// A weather chart: a temperature field in a colour ramp, isobars, a coastline, a grid and
// some sensor noise; red, green, blue. Compresses like a photograph of a chart.
Bytes weatherPixels(int width, int height);

// JPEG through libjpeg.
struct JpegRecipe {
  int width = 8;
  int height = 8;
  int components = 3;       // 1 grey, 3 colour, 4 CMYK; 2 makes a file no viewer supports
  bool ycck = false;        // with 4 components: stored as YCCK
  bool adobeMarker = true;  // with 4 components: the marker that says "inverted CMYK"
  bool progressive = false;
  bool subsampled = false;  // 4:2:0 chroma for colour; otherwise every component at full size
  int quality = 95;
};
Bytes encodeJpeg(const JpegRecipe& recipe, const Bytes& pixels);
// Rewrites the size in the frame header.
Bytes withFrameSize(Bytes jpeg, std::uint16_t width, std::uint16_t height);
// Appends `times` copies of the last scan before the end marker.
Bytes withRepeatedLastScan(const Bytes& jpeg, int times);
// Comment segments right after the start marker make the file exactly `bytes` long (at
// least 4 more than it was).
Bytes paddedTo(Bytes jpeg, std::size_t bytes);
// A flat mid-grey greyscale JPEG of any size up to 65500 x 65500, written directly:
// one-code Huffman tables make every block two zero bits, so a 37000 x 37000 picture is
// 5 MB made in milliseconds, where encoding it would take the encoder seconds.
Bytes flatGreyJpeg(int width, int height);

// PNG through libspng's encoder. Samples as the PNG stores them: rows packed, bits of
// small depths packed into bytes, 16-bit samples big-endian.
struct PngRecipe {
  int width = 8;
  int height = 8;
  int colourType = 2;  // 0 grey, 2 colour, 3 palette, 4 grey and alpha, 6 colour and alpha
  int bitDepth = 8;
  bool interlaced = false;
  Bytes palette = {};                      // red, green, blue triplets for colour type 3
  std::optional<Bytes> transparency = {};  // the tRNS chunk's contents as stored
  int compressionLevel = 6;
};
Bytes encodePng(const PngRecipe& recipe, const Bytes& samples);
// Bytes per row of samples.
std::size_t pngRowBytes(const PngRecipe& recipe);
// One chunk, length, type, data and CRC, as a PNG holds it.
Bytes pngChunk(const std::string& type, const Bytes& data);
// Inserts chunk bytes before the first IDAT chunk.
Bytes withChunkBeforeData(const Bytes& png, const Bytes& chunk);
// A PNG of width x height pixels of colour type 6, every byte zero, as densely deflated as
// the format allows (about 1:1000): 40000 x 40000 inflates to 6.4 GB from 6 MB.
Bytes zeroPng(int width, int height);

// A colour PNG too large to hold in memory, written a row at a time by libspng's
// progressive encoder at zlib's fastest level: a pattern of gradients and fine detail.
void writeLargePng(const std::string& path, int width, int height);

// WebP through libwebp's encoder: pixels are red, green, blue (and alpha when alpha).
struct WebPRecipe {
  int width = 8;
  int height = 8;
  bool alpha = false;
  bool lossless = false;
  float quality = 80;
};
Bytes encodeWebP(const WebPRecipe& recipe, const Bytes& pixels);
// One frame of an animation: a still WebP's recipe and pixels, placed at an even offset.
struct WebPFrame {
  WebPRecipe recipe = {};
  Bytes pixels = {};
  int left = 0;                      // even
  int top = 0;                       // even
  bool blend = true;                 // alpha-blend over the canvas, else replace the area
  bool disposeToBackground = false;  // clear the area to transparent after showing it
};
// An animated WebP put together from its chunks (VP8X, ANIM, ANMF): libwebp's decoder
// reads it, and no muxer is needed.
Bytes animatedWebP(int width, int height, const std::vector<WebPFrame>& frames);

// GIF through giflib's encoder.
struct GifFrame {
  int left = 0;
  int top = 0;
  int width = 1;
  int height = 1;
  Bytes indices = {};  // width x height, top row first
  Bytes palette = {};  // a local colour table (red, green, blue triplets), or empty for the global
  int disposal = 0;    // 0 unspecified, 1 keep, 2 to background, 3 to previous
  int transparent = -1;
  bool interlaced = false;
  // Every pixel indices[0], the LZW data written here rather than by giflib's encoder: a
  // frame of any size in moments, 65535 x 65535 in 1.6 MB.
  bool flat = false;
};
// No frames makes a GIF with no picture in it. The palette's size is rounded up to a power
// of two.
Bytes encodeGif(int width, int height, const Bytes& globalPalette,
                const std::vector<GifFrame>& frames);
// A 2 x 2 GIF with two global colours whose one frame starts with recordByte (0x2C for a
// frame) and holds `data` as written: the LZW code size, then the sub-blocks as stored.
// For what no encoder writes.
Bytes handMadeGif(const Bytes& data, std::uint8_t recordByte = 0x2C);

// EXIF data: a TIFF header in either byte order and one directory holding an ImageWidth
// tag, then the Orientation tag with `orientation` (any number, to make invalid ones too).
Bytes exifWithOrientation(int orientation, bool bigEndian = false);
// The JPEG, PNG or WebP with EXIF data where its format keeps it: an APP1 segment after
// JPEG's start marker, an eXIf chunk before PNG's data, an EXIF chunk at the end of an
// extended WebP (a simple one is made extended first).
Bytes withExif(const Bytes& picture, const Bytes& exif);

// Files.
Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);

// A fresh directory, removed with everything in it at the end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace tessaren::test
