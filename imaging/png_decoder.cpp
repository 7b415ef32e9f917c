// PNG decoding with libspng's progressive reader. A picture that is not interlaced comes
// out a row at a time (spng_decode_row), so nothing larger than a row is ever held;
// an interlaced one (Adam7) sends every row several times, pass by pass, and is gathered
// whole first. Every colour type and bit depth is widened or narrowed to 8 bits a
// channel; transparency (alpha or tRNS) is laid over black; gamma, colour profiles and
// sBIT are ignored, the picture taken as sRGB. An APNG shows its default picture, the
// one in IDAT: libspng skips the animation's chunks as unknown ancillary ones.
#include <spng.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "imaging/picture_decoder.h"
#include "platform/handles.h"

namespace tessaren {
namespace {

struct FreeSpngContext {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using OwnedSpng = Owned<spng_ctx*, FreeSpngContext>;

constexpr PictureFormat kPng = PictureFormat::Png;

// Where the pixels of each Adam7 pass sit in their row: the first column and the step.
constexpr std::int32_t kPassFirstColumn[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr std::int32_t kPassColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};

// How often the gathering of an interlaced picture looks at the stop flag.
constexpr std::uint32_t kRowsBetweenStopChecks = 64;

// 16-bit samples narrowed to 8 bits rounded to the nearest, as ImageMagick and Pillow do
// (libspng's own 8-bit output drops the low byte).
inline unsigned narrowed(unsigned sample) { return (sample * 255 + 32767) / 65535; }

class PngDecoder final : public PictureDecoder {
 public:
  bool open(OwnedFile file, const DecodeLimits& limits, const std::atomic<bool>* stop) override {
    file_ = std::move(file);
    stop_ = stop;
    context_.reset(spng_ctx_new(0));
    if (!context_) return fail(FailureKind::OutOfMemory, "not enough memory to read a PNG");
    spng_ctx* context = context_.get();
    const auto side = static_cast<std::uint32_t>(std::max(limits.maxSide, 1));
    // Text, profiles and the like are never shown: a sixteenth of the library's memory is
    // far more than any real file holds, and a compressed text chunk cannot inflate past it.
    const std::size_t metadata = static_cast<std::size_t>(limits.maxLibraryMemory / 16);
    if (spng_set_png_stream(context, readFromFile, this) != 0 ||
        spng_set_image_limits(context, side, side) != 0 ||
        spng_set_chunk_limits(context, metadata, metadata) != 0) {
      return fail(FailureKind::OutOfMemory, "not enough memory to read a PNG");
    }
    int error = spng_get_ihdr(context, &header_);
    if (error == SPNG_EUSER_WIDTH || error == SPNG_EUSER_HEIGHT) {
      // Refused by the limit set above: say so in the same words as every format.
      std::uint32_t width = 0, height = 0;
      readSize(width, height);
      return setSize(width, height, limits, kPng);
    }
    if (error != 0) return failed(error);
    if (!setSize(header_.width, header_.height, limits, kPng)) return false;
    // Everything up to the first IDAT: broken chunks are refused before any file is made.
    error = spng_decode_chunks(context);
    if (error != 0) return failed(error);
    // Honoured before the picture's data only: after it, it would come too late to lay out
    // the picture, which is drawn as it streams.
    spng_exif exif{};
    if (spng_get_exif(context, &exif) == 0 && exif.data != nullptr) {
      orientation_ = exifOrientation(
          {reinterpret_cast<const std::uint8_t*>(exif.data), std::min(exif.length, kMaxExifBytes)});
    }

    spng_trns transparency;
    const bool hasTransparency = spng_get_trns(context, &transparency) == 0 ||
                                 header_.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                                 header_.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    format_ = header_.bit_depth == 16 ? SPNG_FMT_RGBA16
              : hasTransparency       ? SPNG_FMT_RGBA8
                                      : SPNG_FMT_RGB8;
    if (header_.interlace_method != SPNG_INTERLACE_NONE) {
      return checkWholePicture(std::uint64_t(width_) * std::uint64_t(height_) * 3, limits, kPng);
    }
    return true;
  }

  bool start(std::int32_t outputWidth, std::int32_t outputHeight) override {
    if (failure_) return false;
    if (outputWidth != width_ || outputHeight != height_) {
      return fail(FailureKind::BrokenPicture, brokenReason(kPng, "PNG cannot be shrunk"));
    }
    outputWidth_ = width_;
    outputHeight_ = height_;
    const std::size_t bytesPerPixel = format_ == SPNG_FMT_RGBA16  ? 8
                                      : format_ == SPNG_FMT_RGBA8 ? 4
                                                                  : 3;
    row_.assign(std::size_t(width_) * bytesPerPixel, 0);
    // Gamma is left alone on purpose: no SPNG_DECODE_GAMMA.
    const int error = spng_decode_image(
        context_.get(), nullptr, 0, format_,
        SPNG_DECODE_PROGRESSIVE | (format_ == SPNG_FMT_RGB8 ? 0 : SPNG_DECODE_TRNS));
    if (error != 0 && fileEnded_) {
      endedEarly_ = true;  // not even the first row's data is there
      return true;
    }
    if (error != 0) return failed(error);
    return header_.interlace_method == SPNG_INTERLACE_NONE || gatherPasses();
  }

  std::int32_t read(std::uint8_t* const* rows, std::int32_t count) override {
    if (failure_ || count <= 0 || nextRow_ >= height_) return 0;
    count = std::min(count, height_ - nextRow_);
    const std::size_t rowBytes = std::size_t(width_) * 3;
    for (std::int32_t i = 0; i < count; ++i, ++nextRow_) {
      if (whole_) {
        std::memcpy(rows[i], whole_.get() + std::size_t(nextRow_) * rowBytes, rowBytes);
      } else if (!decodeRow() || endedEarly_) {
        if (failure_) return 0;
        std::memset(rows[i], 0, rowBytes);  // what the file no longer holds shows black
      } else {
        toBgr(rows[i], 0, 1);
      }
    }
    return count;
  }

  bool finish() override {
    if (failure_) return false;
    if (endedEarly_) return true;
    // Reads the chunks after the picture to IEND: a file cut short there, or a broken
    // chunk, is caught as anywhere else.
    const int error = spng_decode_chunks(context_.get());
    return error == 0 || failed(error);
  }

 private:
  static int readFromFile(spng_ctx*, void* user, void* destination, std::size_t length) {
    auto* self = static_cast<PngDecoder*>(user);
    const std::size_t got = std::fread(destination, 1, length, self->file_.get());
    if (got == length) return 0;
    if (std::ferror(self->file_.get())) return SPNG_IO_ERROR;
    self->fileEnded_ = true;
    return SPNG_IO_EOF;
  }

  // The size straight from the IHDR chunk, for a header libspng refused as too large.
  void readSize(std::uint32_t& width, std::uint32_t& height) {
    std::uint8_t start[24];
    if (std::fseek(file_.get(), 0, SEEK_SET) != 0 ||
        std::fread(start, 1, sizeof start, file_.get()) != sizeof start) {
      return;
    }
    auto bigEndian = [&](int at) {
      return std::uint32_t(start[at]) << 24 | std::uint32_t(start[at + 1]) << 16 |
             std::uint32_t(start[at + 2]) << 8 | start[at + 3];
    };
    width = bigEndian(16);
    height = bigEndian(20);
  }

  bool failed(int error) {
    if (fileEnded_) return fail(FailureKind::CutShort, cutShortReason(kPng));
    if (error == SPNG_EMEM) return fail(FailureKind::OutOfMemory, "not enough memory for the PNG");
    if (error == SPNG_ECHUNK_LIMITS) {
      return fail(FailureKind::TooLarge, "PNG holds more text or metadata than Tessaren reads");
    }
    if (error == SPNG_IO_ERROR) {
      return fail(FailureKind::CannotRead,
                  std::string("can't read the PNG: ") + std::strerror(errno != 0 ? errno : EIO));
    }
    return fail(FailureKind::BrokenPicture, brokenReason(kPng, spng_strerror(error)));
  }

  // The next row into row_; false on failure. A file that ends here leaves endedEarly_.
  bool decodeRow() {
    if (endedEarly_) return true;
    const int error = spng_decode_row(context_.get(), row_.data(), row_.size());
    if (error == 0 || error == SPNG_EOI) return true;  // SPNG_EOI: that was the last row
    if (fileEnded_) {
      endedEarly_ = true;
      return true;
    }
    return failed(error);
  }

  // Pixels first, first + step, ... of row_ into BGR at out (which holds the same columns).
  void toBgr(std::uint8_t* out, std::int32_t first, std::int32_t step) const {
    const std::uint8_t* in = row_.data();
    if (format_ == SPNG_FMT_RGB8) {
      for (std::int32_t x = first; x < width_; x += step) {
        const std::uint8_t* p = in + std::size_t(x) * 3;
        std::uint8_t* q = out + std::size_t(x) * 3;
        q[0] = p[2], q[1] = p[1], q[2] = p[0];
      }
    } else if (format_ == SPNG_FMT_RGBA8) {
      for (std::int32_t x = first; x < width_; x += step) {
        const std::uint8_t* p = in + std::size_t(x) * 4;
        std::uint8_t* q = out + std::size_t(x) * 3;
        q[0] = overBlack(p[2], p[3]), q[1] = overBlack(p[1], p[3]), q[2] = overBlack(p[0], p[3]);
      }
    } else {  // host-order 16-bit samples: laid over black at 16 bits, then narrowed
      for (std::int32_t x = first; x < width_; x += step) {
        std::uint16_t p[4];
        std::memcpy(p, in + std::size_t(x) * 8, sizeof p);
        std::uint8_t* q = out + std::size_t(x) * 3;
        for (int c = 0; c < 3; ++c) {
          const unsigned laid = (unsigned(p[c]) * p[3] + 32767) / 65535;
          q[2 - c] = static_cast<std::uint8_t>(narrowed(laid));
        }
      }
    }
  }

  // Adam7: each pass's rows land on their columns of the whole picture.
  bool gatherPasses() {
    const std::size_t rowBytes = std::size_t(width_) * 3;
    whole_.reset(static_cast<std::uint8_t*>(std::calloc(rowBytes * std::size_t(height_), 1)));
    if (!whole_) return fail(FailureKind::OutOfMemory, "not enough memory for the PNG");
    spng_row_info next;
    for (std::uint32_t done = 0; spng_get_row_info(context_.get(), &next) == 0; ++done) {
      if (done % kRowsBetweenStopChecks == 0 && stopped(stop_)) {
        return fail(FailureKind::Cancelled, "cancelled");
      }
      if (!decodeRow()) return false;
      if (endedEarly_) break;
      toBgr(whole_.get() + std::size_t(next.row_num) * rowBytes, kPassFirstColumn[next.pass],
            kPassColumnStep[next.pass]);
    }
    return true;
  }

  OwnedFile file_;
  OwnedSpng context_;
  const std::atomic<bool>* stop_ = nullptr;
  spng_ihdr header_{};
  spng_format format_ = SPNG_FMT_RGB8;
  std::vector<std::uint8_t> row_;      // one row as libspng gives it
  MallocBlock<std::uint8_t[]> whole_;  // an interlaced picture, BGR
  std::int32_t nextRow_ = 0;
  bool fileEnded_ = false;
};

}  // namespace

std::unique_ptr<PictureDecoder> makePngDecoder() { return std::make_unique<PngDecoder>(); }

}  // namespace tessaren
