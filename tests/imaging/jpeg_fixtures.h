// Test pictures made on the spot with the JPEG library's encoder, and small file helpers
// shared by the imaging tests, the Wine tests and the fuzzing seed generator.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaren::test {

using Bytes = std::vector<std::uint8_t>;

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

// Encodes pixels (height rows of width x components bytes, top row first).
Bytes encodeJpeg(const JpegRecipe& recipe, const Bytes& pixels);
// A smooth picture with some detail, like a weather chart: components bytes a pixel.
Bytes patternPixels(int width, int height, int components);
// One colour everywhere.
Bytes flatPixels(int width, int height, const Bytes& colour);

struct ReferencePicture {
  int width = 0;
  int height = 0;
  int components = 0;
  Bytes pixels;  // top row first, as the library gives it at its defaults
};
// The library's own decode with nothing changed from its defaults.
ReferencePicture referenceDecode(const Bytes& jpeg);

// Rewrites the size in the frame header.
Bytes withFrameSize(Bytes jpeg, std::uint16_t width, std::uint16_t height);
// Appends `times` copies of the last scan before the end marker.
Bytes withRepeatedLastScan(const Bytes& jpeg, int times);

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
