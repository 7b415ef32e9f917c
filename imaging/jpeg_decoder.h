// JPEG decoding on the IJG interface of libjpeg-turbo: JpegReader hands out the picture
// a band of rows at a time, at full size or shrunk by the decoder's own DCT scaling;
// decodeJpegFile keeps the whole picture in one buffer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace tessaren {

struct FreeDeleter {
  void operator()(std::uint8_t* block) const { std::free(block); }
};

// One heap block of width x height x 3 bytes, rows packed without gaps.
struct PixelBuffer {
  std::unique_ptr<std::uint8_t[], FreeDeleter> pixels;
  std::int32_t width = 0;
  std::int32_t height = 0;

  std::size_t size() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  }
};

struct DecodedJpeg {
  PixelBuffer buffer;
  // The file ended before the picture did: the rows past that point are the library's
  // grey filler. The decode still succeeds.
  bool endedEarly = false;
};

// Upper bounds for one decode. The defaults keep a small hostile file from taking
// gigabytes or minutes.
struct DecodeLimits {
  std::uint64_t maxPixelBytes = 512ull << 20;  // width x height x 3, for decodeJpegFile
  long maxLibraryMemory = 1l << 30;            // the library's own pools
  int maxScans = 100;                          // progressive scans
};

struct JpegState;

// One JPEG file decoded step by step. Each step is false (or 0 rows) once anything has
// failed, and reason() then says why in words a user can act on. Greyscale comes out as
// three equal bytes, CMYK and YCCK converted to colour.
class JpegReader {
 public:
  JpegReader();
  ~JpegReader();
  JpegReader(const JpegReader&) = delete;
  JpegReader& operator=(const JpegReader&) = delete;

  // Prints the library's messages (warnings included) on the standard error stream as
  // they come, the way djpeg does.
  void echoMessages(bool echo);

  // Opens the file and reads the header; width() and height() are known after it.
  bool open(const std::string& jpegPath, const DecodeLimits& limits = {});
  std::int32_t width() const;
  std::int32_t height() const;

  // Starts decoding at scale eighths/8 (1 to 8), three bytes a pixel in blue, green, red
  // order when bgr, else red, green, blue.
  bool start(int eighths, bool bgr);
  std::int32_t outputWidth() const;
  std::int32_t outputHeight() const;
  std::int32_t nextRow() const;  // rows handed out so far

  // Decodes up to count rows, top first, into rows[0], rows[1], ... (3 x outputWidth()
  // bytes each). Returns how many, at least 1 while rows remain; 0 on failure.
  std::int32_t read(std::uint8_t* const* rows, std::int32_t count);

  // Reads to the end of the file after the last row.
  bool finish();

  // The file ended before the picture did: rows from there on are grey filler.
  bool endedEarly() const;
  const std::string& reason() const { return reason_; }

 private:
  bool failed(const std::string& reason);

  std::unique_ptr<JpegState> state_;
  std::string path_;
  std::string reason_;
};

// Top row first, red, green, blue. Every failure is reported on the standard error
// stream before the caller hears of it.
std::optional<DecodedJpeg> decodeJpegFile(const std::string& jpegPath,
                                          const DecodeLimits& limits = {});

// In place: row i changes places with row height - 1 - i.
void reverseRows(std::uint8_t* pixels, std::int32_t width, std::int32_t height);
// In place: the first and third byte of every three-byte pixel change places.
void swapRedBlue(std::uint8_t* pixels, std::int32_t width, std::int32_t height);

}  // namespace tessaren
