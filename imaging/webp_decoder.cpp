// WebP decoding with libwebp. A still picture goes through the incremental decoder
// (WebPIDecoder): the file is fed in pieces, and the rows it has finished are handed out
// while the rest still decodes. libwebp writes into one output buffer for the whole
// picture (three bytes a pixel, four with alpha), so for Fit, Fill and Span its own
// rescaler shrinks the picture while decoding and the buffer is the shrunk size; lossless
// pictures also keep every pixel inside the library, whose back-references reach
// anywhere above. An animation goes through WebPAnimDecoder (libwebpdemux), which needs
// the whole file and composes each frame onto its canvas, blending and disposal honoured;
// the last frame is the picture. It copies the whole canvas for every frame, however
// small the frame, so an animation is refused when its frames times its canvas, with the
// frames' own pixels, pass the pixel limit. Transparent pixels are laid over black.
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <vector>

#include "imaging/picture_decoder.h"
#include "platform/handles.h"

namespace tessaren {
namespace {

struct DeleteWebPIncremental {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};
using OwnedWebPIncremental = Owned<WebPIDecoder*, DeleteWebPIncremental>;
struct DeleteWebPAnimation {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
using OwnedWebPAnimation = Owned<WebPAnimDecoder*, DeleteWebPAnimation>;

constexpr PictureFormat kWebP = PictureFormat::WebP;

// The file goes to the incremental decoder this much at a time: the stop flag is looked
// at between pieces.
constexpr std::size_t kPieceBytes = 64 * 1024;

std::string statusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
      return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
      return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA:
      return "not enough data";
    default:
      return "status " + std::to_string(int(status));
  }
}

class WebPDecoder final : public PictureDecoder {
 public:
  bool open(OwnedFile file, const DecodeLimits& limits, const std::atomic<bool>* stop) override {
    file_ = std::move(file);
    stop_ = stop;
    limits_ = limits;
    // The RIFF header and the first chunk tell the size and kind of the picture.
    if (!readPiece()) return false;
    if (data_.size() >= 8) {
      riffBytes_ = 8 + (std::uint64_t(data_[4]) | std::uint64_t(data_[5]) << 8 |
                        std::uint64_t(data_[6]) << 16 | std::uint64_t(data_[7]) << 24);
    }
    VP8StatusCode status = WebPGetFeatures(data_.data(), data_.size(), &features_);
    while (status == VP8_STATUS_NOT_ENOUGH_DATA && !fileEnded_) {
      if (!readPiece()) return false;
      status = WebPGetFeatures(data_.data(), data_.size(), &features_);
    }
    if (status != VP8_STATUS_OK) return failed(status);
    if (!setSize(features_.width, features_.height, limits, kWebP)) return false;
    if (!readOrientation(limits)) return false;
    const std::uint64_t pixels = std::uint64_t(width_) * std::uint64_t(height_);
    if (features_.has_animation) {
      // Two canvases of four bytes a pixel, and one frame's decoding.
      if (!checkWholePicture(pixels * 12, limits, kWebP)) return false;
      return openAnimation(limits);
    }
    // Lossless pictures keep every pixel in the library, and an alpha plane is kept whole.
    const std::uint64_t inside =
        (features_.format == 2 ? 4 : 0) + (features_.has_alpha && features_.format != 2 ? 1 : 0);
    return checkWholePicture(pixels * inside, limits, kWebP);
  }

  Shrinking shrinking() const override {
    return features_.has_animation ? Shrinking::None : Shrinking::Freely;
  }

  bool start(std::int32_t outputWidth, std::int32_t outputHeight) override {
    if (failure_) return false;
    if (features_.has_animation) {
      if (outputWidth != width_ || outputHeight != height_) {
        return fail(FailureKind::BrokenPicture, brokenReason(kWebP, "animation cannot be shrunk"));
      }
      outputWidth_ = width_;
      outputHeight_ = height_;
      return playAnimation();
    }
    if (outputWidth <= 0 || outputHeight <= 0 || outputWidth > width_ || outputHeight > height_) {
      return fail(FailureKind::BrokenPicture, brokenReason(kWebP, "no such size"));
    }
    outputWidth_ = outputWidth;
    outputHeight_ = outputHeight;
    bytesPerPixel_ = features_.has_alpha ? 4 : 3;
    const std::uint64_t bytes =
        std::uint64_t(outputWidth_) * std::uint64_t(outputHeight_) * bytesPerPixel_;
    if (!checkWholePicture(bytes, limits_, kWebP)) return false;
    output_.reset(static_cast<std::uint8_t*>(std::malloc(bytes)));
    if (!output_) return fail(FailureKind::OutOfMemory, "not enough memory for the WebP");

    if (!WebPInitDecoderConfig(&config_)) {
      return fail(FailureKind::BrokenPicture, brokenReason(kWebP, "libwebp version mismatch"));
    }
    config_.output.colorspace = features_.has_alpha ? MODE_BGRA : MODE_BGR;
    config_.output.is_external_memory = 1;
    config_.output.u.RGBA.rgba = output_.get();
    config_.output.u.RGBA.stride = outputWidth_ * bytesPerPixel_;
    config_.output.u.RGBA.size = bytes;
    // libwebp's in-loop filter on a second thread while the first parses the next row of
    // macroblocks: the same pixels, sooner.
    config_.options.use_threads = 1;
    if (outputWidth_ != width_ || outputHeight_ != height_) {
      config_.options.use_scaling = 1;
      config_.options.scaled_width = outputWidth_;
      config_.options.scaled_height = outputHeight_;
    }
    incremental_.reset(WebPIDecode(nullptr, 0, &config_));
    if (!incremental_) return fail(FailureKind::OutOfMemory, "not enough memory for the WebP");
    return feed();
  }

  std::int32_t read(std::uint8_t* const* rows, std::int32_t count) override {
    if (failure_ || count <= 0 || nextRow_ >= outputHeight_) return 0;
    count = std::min(count, outputHeight_ - nextRow_);
    // Decodes until the rows asked for are done, or the file has ended.
    while (!finished_ && !endedEarly_ && decodedRows_ < nextRow_ + count) {
      if (stopped(stop_)) {
        fail(FailureKind::Cancelled, "cancelled");
        return 0;
      }
      if (!readPiece()) return 0;
      if (!feed()) return 0;
    }
    const std::size_t rowBytes = std::size_t(outputWidth_) * 3;
    for (std::int32_t i = 0; i < count; ++i, ++nextRow_) {
      std::uint8_t* out = rows[i];
      if (nextRow_ >= decodedRows_) {
        std::memset(out, 0, rowBytes);  // what the file no longer holds shows black
        continue;
      }
      const std::uint8_t* in =
          pixels_ + std::size_t(nextRow_) * std::size_t(outputWidth_) * bytesPerPixel_;
      if (bytesPerPixel_ == 3) {
        std::memcpy(out, in, rowBytes);
        continue;
      }
      for (std::int32_t x = 0; x < outputWidth_; ++x, in += 4, out += 3) {
        out[0] = overBlack(in[0], in[3]), out[1] = overBlack(in[1], in[3]);
        out[2] = overBlack(in[2], in[3]);
      }
    }
    return count;
  }

  bool finish() override { return !failure_; }

 private:
  // The extended format's header flags EXIF data, whose chunk comes after the picture's:
  // the chunks' headers are read from the file, their contents skipped, and the reading
  // goes on where it was. (The demuxer would want the whole file in memory.) A file has a
  // header, a few chunks of metadata and one per frame: beyond that many, a file of tiny
  // chunks would only make it slow.
  bool readOrientation(const DecodeLimits& limits) {
    constexpr std::uint8_t kExifFlag = 0x08;
    if (data_.size() < 21 || std::memcmp(data_.data() + 12, "VP8X", 4) != 0 ||
        (data_[20] & kExifFlag) == 0) {
      return true;
    }
    constexpr int kMetadataChunks = 16;
    int chunks = 0;
    for (std::uint64_t at = 12; at + 8 <= riffBytes_ && at <= std::uint64_t(LONG_MAX) &&
                                chunks < limits.maxFrames + kMetadataChunks;
         ++chunks) {
      std::uint8_t header[8];
      if (std::fseek(file_.get(), static_cast<long>(at), SEEK_SET) != 0 ||
          std::fread(header, 1, sizeof header, file_.get()) != sizeof header) {
        break;  // cut short: as stored
      }
      const std::uint64_t size = std::uint64_t(header[4]) | std::uint64_t(header[5]) << 8 |
                                 std::uint64_t(header[6]) << 16 | std::uint64_t(header[7]) << 24;
      if (std::memcmp(header, "EXIF", 4) == 0) {
        std::vector<std::uint8_t> exif(std::min<std::uint64_t>(size, kMaxExifBytes));
        exif.resize(std::fread(exif.data(), 1, exif.size(), file_.get()));
        orientation_ = exifOrientation(exif);
        break;
      }
      at += 8 + size + (size & 1);
    }
    std::clearerr(file_.get());
    if (std::fseek(file_.get(), static_cast<long>(fileBytes_), SEEK_SET) != 0) {
      return fail(FailureKind::CannotRead, "can't read the WebP");
    }
    return true;
  }

  // Appends the next piece of the file to data_; false on a read error.
  bool readPiece() {
    const std::size_t had = data_.size();
    data_.resize(had + kPieceBytes);
    const std::size_t got = std::fread(data_.data() + had, 1, kPieceBytes, file_.get());
    data_.resize(had + got);
    fileBytes_ += got;
    if (std::ferror(file_.get())) return fail(FailureKind::CannotRead, "can't read the WebP");
    if (got < kPieceBytes) fileEnded_ = true;
    return true;
  }

  bool failed(VP8StatusCode status) {
    if (status == VP8_STATUS_OUT_OF_MEMORY) {
      return fail(FailureKind::OutOfMemory, "not enough memory for the WebP");
    }
    if (status == VP8_STATUS_NOT_ENOUGH_DATA || (fileEnded_ && riffBytes_ > fileBytes_)) {
      return fail(FailureKind::CutShort, cutShortReason(kWebP));
    }
    return fail(FailureKind::BrokenPicture, brokenReason(kWebP, statusText(status)));
  }

  // Once the file has ended: the RIFF header counts fewer bytes than the picture needs.
  bool riffTooShort() {
    return fail(FailureKind::BrokenPicture,
                brokenReason(kWebP, "its RIFF header says " + std::to_string(riffBytes_) +
                                        " bytes, the file has " + std::to_string(fileBytes_)));
  }

  // Hands what has been read to the incremental decoder and notes the rows it finished.
  bool feed() {
    const VP8StatusCode status = data_.empty()
                                     ? VP8_STATUS_SUSPENDED
                                     : WebPIAppend(incremental_.get(), data_.data(), data_.size());
    if (status == VP8_STATUS_OK) {
      finished_ = true;
    } else if (status != VP8_STATUS_SUSPENDED) {
      return failed(status);
    }
    int lastRow = 0;
    pixels_ = WebPIDecGetRGB(incremental_.get(), &lastRow, nullptr, nullptr, nullptr);
    decodedRows_ = pixels_ ? lastRow : 0;
    data_.clear();
    // A file shorter than its RIFF header says was cut short, even when the picture's own
    // data is all there (metadata may follow it); one longer than the header says that
    // still leaves the picture unfinished is broken.
    if (fileEnded_ && riffBytes_ > fileBytes_) endedEarly_ = true;
    if (fileEnded_ && !finished_ && !endedEarly_) return riffTooShort();
    return true;
  }

  bool openAnimation(const DecodeLimits& limits) {
    while (!fileEnded_) {
      if (!readPiece()) return false;
    }
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
      return fail(FailureKind::BrokenPicture, brokenReason(kWebP, "libwebp version mismatch"));
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData whole{data_.data(), data_.size()};
    animation_.reset(WebPAnimDecoderNew(&whole, &options));
    if (!animation_) {
      return riffBytes_ > fileBytes_
                 ? fail(FailureKind::CutShort, cutShortReason(kWebP))
                 : fail(FailureKind::BrokenPicture, brokenReason(kWebP, "animation can't be read"));
    }
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(animation_.get(), &info)) {
      return fail(FailureKind::BrokenPicture, brokenReason(kWebP, "animation can't be read"));
    }
    if (info.frame_count > std::uint32_t(limits.maxFrames)) {
      return fail(FailureKind::TooLarge,
                  "WebP has more than " + std::to_string(limits.maxFrames) + " frames");
    }
    // The demuxer has refused frames reaching outside the canvas: each is within it.
    const std::uint64_t canvas = std::uint64_t(width_) * std::uint64_t(height_);
    std::uint64_t work = 0;
    WebPIterator frame;
    if (WebPDemuxGetFrame(WebPAnimDecoderGetDemuxer(animation_.get()), 1, &frame)) {
      do {
        work += canvas + std::uint64_t(frame.width) * std::uint64_t(frame.height);
      } while (WebPDemuxNextFrame(&frame));
      WebPDemuxReleaseIterator(&frame);
    }
    return checkAnimationWork(work, info.frame_count, limits, kWebP);
  }

  // Every frame composed in order; the last one stays in the decoder's canvas.
  bool playAnimation() {
    bytesPerPixel_ = 4;
    int frame = 0;
    while (WebPAnimDecoderHasMoreFrames(animation_.get())) {
      if (stopped(stop_)) return fail(FailureKind::Cancelled, "cancelled");
      std::uint8_t* canvas = nullptr;
      int timestamp = 0;
      ++frame;
      if (!WebPAnimDecoderGetNext(animation_.get(), &canvas, &timestamp)) {
        return fail(FailureKind::BrokenPicture,
                    brokenReason(kWebP, "frame " + std::to_string(frame) + " can't be decoded"));
      }
      pixels_ = canvas;
    }
    if (pixels_ == nullptr)
      return fail(FailureKind::BrokenPicture, brokenReason(kWebP, "no frames"));
    decodedRows_ = outputHeight_;
    finished_ = true;
    return true;
  }

  OwnedFile file_;
  const std::atomic<bool>* stop_ = nullptr;
  DecodeLimits limits_;
  WebPBitstreamFeatures features_{};
  std::vector<std::uint8_t> data_;  // read, not yet fed; the whole file for an animation
  std::uint64_t fileBytes_ = 0;     // read so far
  std::uint64_t riffBytes_ = 0;     // the file's length as its RIFF header gives it
  WebPDecoderConfig config_{};      // outlives the incremental decoder, as libwebp asks
  MallocBlock<std::uint8_t[]> output_;
  OwnedWebPIncremental incremental_;
  OwnedWebPAnimation animation_;
  const std::uint8_t* pixels_ = nullptr;  // decodedRows_ rows of bytesPerPixel_ each
  int bytesPerPixel_ = 3;
  std::int32_t decodedRows_ = 0;
  std::int32_t nextRow_ = 0;
  bool fileEnded_ = false;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<PictureDecoder> makeWebPDecoder() { return std::make_unique<WebPDecoder>(); }

}  // namespace tessaren
