// One interface for every picture format Tessaren reads: the format is told from the
// file's first bytes, and a decoder then hands out the picture a band of rows at a time,
// whatever the format, as three bytes a pixel (blue, green, red) with transparency
// already laid over black.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "imaging/orientation.h"
#include "platform/failure.h"
#include "platform/handles.h"

namespace tessaren {

enum class PictureFormat : std::uint8_t { Jpeg, Png, WebP, Gif };

// "JPEG", "PNG", "WebP", "GIF".
std::string_view pictureFormatName(PictureFormat format);

// How many of the file's first bytes pictureFormatOf and notAPictureReason look at.
inline constexpr std::size_t kFirstBytes = 64;

// The format whose signature the first bytes carry; nothing for anything else.
std::optional<PictureFormat> pictureFormatOf(std::span<const std::uint8_t> firstBytes);

// Why bytes of no format Tessaren reads were refused, in words that say what came
// instead: the server's content type when it named one, and the first printable
// characters: "not a picture Tessaren can read (text/html, starts with `<!DOCTYPE`)".
std::string notAPictureReason(std::string_view contentType,
                              std::span<const std::uint8_t> firstBytes);

// Upper bounds for one decode, each checked against the header before anything is
// allocated for the picture. The defaults keep a small hostile file from taking
// gigabytes or minutes.
struct DecodeLimits {
  std::int32_t maxSide = 65500;  // pixels on either side, for every format: JPEG's own limit
  // Pixels a format without DCT scaling must decode one by one: beyond about a billion
  // the work takes minutes whatever is drawn from it.
  std::uint64_t maxPixels = 1ull << 30;
  // A picture held whole: interlaced PNG, a GIF's canvas, WebP's output, the kept picture
  // of Fit and Fill.
  std::uint64_t maxPixelBytes = 512ull << 20;
  std::uint64_t maxLibraryMemory = 1ull << 30;  // the library's own: libjpeg's pools, PNG chunks
  int maxScans = 100;                           // progressive JPEG scans
  int maxFrames = 1000;                         // frames of an animation
};

// The most EXIF data looked at for the orientation: what one JPEG segment holds. Of a
// larger block in PNG or WebP, the rest is never read.
inline constexpr std::size_t kMaxExifBytes = 65535;

// How a decoder can make the picture smaller while decoding, which spares the work and
// memory of the full size.
enum class Shrinking : std::uint8_t {
  None,
  ByEighths,  // JPEG's DCT scaling: eighths/8 of each side, rounded up
  Freely,     // libwebp's rescaler: any smaller size
};

// One picture file decoded step by step. Each step returns false (or 0 rows) once
// anything has failed, and failure() then says why.
class PictureDecoder {
 public:
  virtual ~PictureDecoder() = default;
  PictureDecoder() = default;
  PictureDecoder(const PictureDecoder&) = delete;
  PictureDecoder& operator=(const PictureDecoder&) = delete;

  // Takes the file, positioned at its start, and reads the header, checking it against
  // the limits; width() and height() are known after it. stop, when given, is looked at
  // inside long steps of the library too: a stop ends the step as Cancelled.
  virtual bool open(OwnedFile file, const DecodeLimits& limits, const std::atomic<bool>* stop) = 0;
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  // What the picture's EXIF data says about turning it upright, known after open(). The
  // rows still come out as stored: turning them is the pipeline's work.
  Orientation orientation() const { return orientation_; }

  virtual Shrinking shrinking() const { return Shrinking::None; }
  // Starts decoding at outputWidth x outputHeight: the picture's own size, or a smaller
  // one this decoder's shrinking allows. Formats that need the whole picture before its
  // first row (interlaced PNG, GIF, animated WebP) decode all of it here.
  virtual bool start(std::int32_t outputWidth, std::int32_t outputHeight) = 0;
  std::int32_t outputWidth() const { return outputWidth_; }
  std::int32_t outputHeight() const { return outputHeight_; }

  // Decodes up to count rows, top first, into rows[0], rows[1], ... (3 x outputWidth()
  // bytes each, blue, green, red). Returns how many, at least 1 while rows remain; 0 on
  // failure.
  virtual std::int32_t read(std::uint8_t* const* rows, std::int32_t count) = 0;
  // Reads what follows the last row, to the file's end marker.
  virtual bool finish() = 0;

  // The file ended before the picture did: the rows from there on are filler (grey for
  // JPEG, as libjpeg makes them; black for the others). The steps still succeed.
  bool endedEarly() const { return endedEarly_; }
  const std::optional<Failure>& failure() const { return failure_; }

 protected:
  // Records the first failure; always false.
  bool fail(FailureKind kind, std::string detail);
  // The size from the header, checked against the limits: a side beyond maxSide, or
  // beyond maxPixels when every pixel must be decoded, is refused as TooLarge.
  bool setSize(std::int64_t width, std::int64_t height, const DecodeLimits& limits,
               PictureFormat format);
  // Refuses a block the decoder would hold whole when it is beyond maxPixelBytes.
  bool checkWholePicture(std::uint64_t bytes, const DecodeLimits& limits, PictureFormat format);
  // Refuses an animation whose frames ask for more than maxPixels of decoding and
  // composing in all (pixels, counted by the decoder the way its library works): every
  // frame may pass the size limits and a small file still ask for billions.
  bool checkAnimationWork(std::uint64_t pixels, std::size_t frames, const DecodeLimits& limits,
                          PictureFormat format);
  bool stopped(const std::atomic<bool>* stop) const {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
  }

  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t outputWidth_ = 0;
  std::int32_t outputHeight_ = 0;
  Orientation orientation_ = Orientation::AsStored;
  bool endedEarly_ = false;
  std::optional<Failure> failure_;
};

// One decoder for each format, in its own file, each on its library's streaming API.
std::unique_ptr<PictureDecoder> makeJpegDecoder();
std::unique_ptr<PictureDecoder> makePngDecoder();
std::unique_ptr<PictureDecoder> makeWebPDecoder();
std::unique_ptr<PictureDecoder> makeGifDecoder();
std::unique_ptr<PictureDecoder> makeDecoder(PictureFormat format);

// A colour channel laid over black by an alpha of 0 to 255, rounded to the nearest: what
// every decoder does with transparency.
inline std::uint8_t overBlack(unsigned channel, unsigned alpha) {
  return static_cast<std::uint8_t>((channel * alpha + 127) / 255);
}

// "broken PNG picture (invalid chunk checksum)", "PNG cut short" and the like.
std::string brokenReason(PictureFormat format, std::string_view why);
std::string cutShortReason(PictureFormat format);

}  // namespace tessaren
