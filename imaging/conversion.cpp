// The conversion pipelines, the same for every format: they ask a decoder for rows and
// never know which format it reads. At full size no picture buffer of ours exists: each
// band of decoded rows is written straight to its place in the file. Fit, Fill and Span
// have the decoder shrink the picture as far as it can while still giving every monitor
// enough pixels, average blocks of pixels where it is still far larger, resample each
// monitor's part into a canvas the size of the monitors' bounding box, and write that.
// A picture whose EXIF data says it is stored turned is turned upright on the way: at
// full size, a mirrored or upside-down one still streams (its bands go to the other end
// of the file), but a quarter turn makes rows into columns, so the picture is held whole
// within the limit for pictures held whole; drawn for the monitors, each decoded (or
// averaged) row goes to its upright place in the kept picture, which costs no memory more.
#include "imaging/conversion.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "imaging/bitmap_file.h"
#include "imaging/resample.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "settings/display_mode.h"

namespace tessaren {
namespace {

// Half a MiB of rows at a time: small enough to stay in the cache between the decoder
// and the write, large enough that the write is one system call for many rows.
constexpr std::size_t kBandBytes = 512 * 1024;
constexpr std::int32_t kDecodeRows = 16;
// The picture file is read through a buffer this large: some libraries ask for a few
// bytes at a time.
constexpr std::size_t kReadBufferBytes = 64 * 1024;

std::string sizeText(std::int32_t width, std::int32_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// Whether the stored picture's left column, and its top row, end up at the upright
// picture's right or bottom edge: averaging drops what is left over there, as it does
// for a picture stored upright.
bool leftColumnEndsLast(Orientation orientation) {
  return orientation == Orientation::Mirrored || orientation == Orientation::Turned180 ||
         orientation == Orientation::Transversed || orientation == Orientation::TurnedAnticlockwise;
}
bool topRowEndsLast(Orientation orientation) {
  return orientation == Orientation::Turned180 || orientation == Orientation::Flipped ||
         orientation == Orientation::TurnedClockwise || orientation == Orientation::Transversed;
}

void mirrorRow(std::uint8_t* row, std::int32_t width) {
  for (std::uint8_t *left = row, *right = row + std::size_t(width - 1) * 3; left < right;
       left += 3, right -= 3) {
    std::swap_ranges(left, left + 3, right);
  }
}

// A band of a placement's target rows and the part of the decoded picture drawn into it.
struct Strip {
  Rect target;              // canvas pixels
  SourceRegion source;      // decoded pixels
  std::int32_t rowsNeeded;  // decoded rows the filter reads, counted from the top
};

// Each placement cut into strips that can be resampled while the decoder is still busy
// further down, in the order their rows come in. The strips shrink towards the bottom:
// only the last waits for the decoder's last row, and each strip costs the library a
// fresh set of filter weights, so a few strips do better than many.
std::vector<Strip> cutIntoStrips(const CanvasLayout& layout, double across, double down,
                                 std::int32_t decodedHeight) {
  constexpr std::int32_t kStripEnds[] = {10, 16, 19, 20};  // twentieths of the height
  std::vector<Strip> strips;
  for (const Placement& p : layout.placements) {
    const SourceRegion region{p.source.left * across, p.source.top * down, p.source.right * across,
                              p.source.bottom * down};
    const std::int32_t height = p.target.height();
    const double rowsPerRow = (region.bottom - region.top) / height;
    // Catmull-Rom reaches two pixels to either side: output pixels when shrinking, input
    // pixels when enlarging; and a few rows more for rounding.
    const double reach = 2 * std::max(rowsPerRow, 1.0) + 4;
    std::int32_t first = 0;
    for (std::int32_t twentieths : kStripEnds) {
      const std::int32_t end = height * twentieths / 20;
      if (first == end) continue;
      Strip strip{{p.target.left, p.target.top + first, p.target.right, p.target.top + end},
                  {region.left, region.top + first * rowsPerRow, region.right,
                   region.top + end * rowsPerRow},
                  0};
      strip.rowsNeeded = static_cast<std::int32_t>(
          std::clamp(std::ceil(strip.source.bottom + reach), 0.0, double(decodedHeight)));
      strips.push_back(strip);
      first = end;
    }
  }
  std::stable_sort(strips.begin(), strips.end(),
                   [](const Strip& a, const Strip& b) { return a.rowsNeeded < b.rowsNeeded; });
  return strips;
}

// Resamples strips on a second thread as soon as the decoder has handed out the rows each
// one reads: the decoder keeps one core busy, the resampling takes the other. Leaving the
// scope without finish() stops the thread at its next strip and joins it.
class StripResampler {
 public:
  StripResampler(const PixelView& decoded, std::vector<Strip> strips, std::uint8_t* canvas,
                 std::size_t canvasStride)
      : decoded_(decoded),
        strips_(std::move(strips)),
        canvas_(canvas),
        canvasStride_(canvasStride),
        thread_([this] { run(); }) {}
  ~StripResampler() { close(); }
  StripResampler(const StripResampler&) = delete;
  StripResampler& operator=(const StripResampler&) = delete;

  // The decoder has filled rows [0, rows).
  void publish(std::int32_t rows) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rows_ = rows;
    }
    ready_.notify_all();
  }
  // Waits for the last strip; false when one could not be drawn.
  bool finish() {
    thread_.join();
    return !failed_;
  }

 private:
  void close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }
  bool waitFor(std::int32_t rows) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return rows_ >= rows || closed_; });
    return !closed_;
  }
  void run() {
    for (const Strip& strip : strips_) {
      if (!waitFor(strip.rowsNeeded)) return;
      std::uint8_t* at = canvas_ + std::size_t(strip.target.top) * canvasStride_ +
                         std::size_t(strip.target.left) * 3;
      if (!resampleRegion(decoded_, strip.source, at, strip.target.width(), strip.target.height(),
                          canvasStride_)) {
        failed_ = true;
        return;
      }
    }
  }

  const PixelView decoded_;
  const std::vector<Strip> strips_;
  std::uint8_t* const canvas_;
  const std::size_t canvasStride_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::int32_t rows_ = 0;
  bool closed_ = false;
  bool failed_ = false;  // read only after the thread has ended
  std::jthread thread_;  // last: starts when everything else is in place, joins first
};

class Conversion {
 public:
  Conversion(const std::string& picturePath, const std::string& bmpPath,
             const ConversionRequest& request)
      : picturePath_(picturePath), bmpPath_(bmpPath), request_(request) {}
  Conversion(const Mosaic& mosaic, const std::string& bmpPath, const ConversionRequest& request)
      : picturePath_(kNoPath), bmpPath_(bmpPath), request_(request), mosaic_(&mosaic) {}

  ConversionResult run() {
    if (openPicture()) {
      setUprightSize();
      const bool drawn = request_.drawn && drawnForTheMonitors(*request_.drawn);
      if (drawn ? drawOnMonitors() : streamFullSize()) {
        result_.cutShort = decoder_->endedEarly();
        return result_;
      }
    }
    removeStarted();
    return result_;
  }

  // One picture of a wallpaper drawn from several: opened, placed on its monitors and
  // resampled into canvas, which has the size and the coordinates of layout.
  ConversionResult drawPart(const WallpaperPicture& part, const CanvasLayout& layout,
                            const Rect& box, std::uint8_t* canvas) {
    if (openPicture()) {
      setUprightSize();
      CanvasLayout placed = layout;
      placed.placements =
          placeOnMonitors(part.mode, result_.width, result_.height, part.monitors, box);
      if (placed.placements.empty() || drawInto(placed, canvas))
        result_.cutShort = decoder_->endedEarly();
    }
    return result_;
  }

  // The canvas of a wallpaper drawn from several pictures: room for it first, then the file.
  ConversionResult checkCanvas(const CanvasLayout& layout) {
    if (layout.width <= 0)
      fail(FailureKind::NoMonitor, "no monitor to draw the picture on");
    else
      checkRoom(layout.width, layout.height);
    return result_;
  }
  ConversionResult writeCanvasFile(const std::uint8_t* canvas, const CanvasLayout& layout) {
    if (!writeCanvas(canvas, layout)) removeStarted();
    return result_;
  }

  // The format and the size from the header alone.
  ConversionResult inspect() {
    if (openPicture()) setUprightSize();
    return result_;
  }

 private:
  // A conversion that fails removes the file it started.
  void removeStarted() {
    if (!fileCreated_) return;
    file_.close();
    std::remove(bmpPath_.c_str());
  }

  void setUprightSize() {
    orientation_ = decoder_->orientation();
    sideways_ = turnsSideways(orientation_);
    result_.width = sideways_ ? decoder_->height() : decoder_->width();
    result_.height = sideways_ ? decoder_->width() : decoder_->height();
  }

  bool fail(FailureKind kind, const std::string& detail) {
    if (!result_.failure) result_.failure = Failure{kind, detail};
    return false;
  }
  bool decoderFailed() {
    const std::optional<Failure>& failure = decoder_->failure();
    return failure ? fail(failure->kind, failure->detail)
                   : fail(FailureKind::BrokenPicture, "the picture decoder gave up");
  }
  bool stopped() const {
    return request_.stop != nullptr && request_.stop->load(std::memory_order_relaxed);
  }
  bool cancelled() {
    const Failure failure = cancelledFailure();
    return fail(failure.kind, failure.detail);
  }
  bool outOfMemory(std::int32_t width, std::int32_t height) {
    return fail(FailureKind::OutOfMemory,
                "not enough memory for a " + sizeText(width, height) + " picture");
  }
  bool writeFailed(int error) {
    const std::string& shown = request_.shownPath.empty() ? bmpPath_ : request_.shownPath;
    if (error == ENOSPC) return fail(FailureKind::DiskFull, "can't write " + shown + ": disk full");
    return fail(FailureKind::CannotWrite, "can't write " + shown + ": " + std::strerror(error));
  }

  // The format from the first bytes, then its decoder on the header.
  bool openPicture() {
    if (stopped()) return cancelled();
    if (mosaic_ != nullptr) {
      decoder_ = makeMosaicDecoder(*mosaic_, request_.assembled, result_.format);
      return decoder_->open(OwnedFile(), request_.limits, request_.stop) || decoderFailed();
    }
    OwnedFile file(std::fopen(picturePath_.c_str(), "rb"));
    if (!file) {
      return fail(FailureKind::CannotRead,
                  "can't read " + picturePath_ + ": " + std::strerror(errno));
    }
    std::setvbuf(file.get(), nullptr, _IOFBF, kReadBufferBytes);
    std::uint8_t first[kFirstBytes];
    const std::size_t got = std::fread(first, 1, sizeof first, file.get());
    if (std::ferror(file.get()) || std::fseek(file.get(), 0, SEEK_SET) != 0) {
      return fail(FailureKind::CannotRead,
                  "can't read " + picturePath_ + ": " + std::strerror(errno));
    }
    const std::span<const std::uint8_t> firstBytes(first, got);
    result_.format = pictureFormatOf(firstBytes);
    if (!result_.format) {
      return fail(FailureKind::NotAPicture, notAPictureReason(request_.contentType, firstBytes));
    }
    decoder_ = makeDecoder(*result_.format);
    return decoder_->open(std::move(file), request_.limits, request_.stop) || decoderFailed();
  }

  // The file must be one a BMP header can describe, and fit on its volume with room to spare.
  bool checkRoom(std::int32_t width, std::int32_t height) {
    const std::uint64_t size = bitmapFileSize(width, height);
    if (size == 0) {
      return fail(FailureKind::TooLarge,
                  "picture too large for a BMP file (" + sizeText(width, height) + ")");
    }
    const std::optional<std::uint64_t>& free = request_.freeBytes;
    if (free && *free < size + kFreeSpaceHeadroom) {
      return fail(FailureKind::DiskFull, "not enough free space on " + volumeOf(bmpPath_) +
                                             " for a " + std::to_string((size + 999999) / 1000000) +
                                             " MB picture");
    }
    return true;
  }

  // Stretch, Center and Tile show what the file holds; beyond these sizes the desktop
  // struggles, and the picture is better drawn for the monitors.
  bool checkFullSize(std::int32_t width, std::int32_t height) {
    const std::uint64_t size =
        std::uint64_t{bitmapStride(width)} * std::uint64_t(height) + 54;  // no 32-bit cap here
    if (size <= kMaxFullSizeBytes && width <= kMaxFullSizeSide && height <= kMaxFullSizeSide) {
      return true;
    }
    char gigabytes[32];
    std::snprintf(gigabytes, sizeof gigabytes, "%.1f GB", double(size) / 1e9);
    const std::string why = size > kMaxFullSizeBytes
                                ? std::string(gigabytes)
                                : "over " + std::to_string(kMaxFullSizeSide) + " pixels a side";
    return fail(FailureKind::TooLarge, sizeText(width, height) +
                                           " is too large to show at full size (" + why +
                                           "); choose Fit or Fill");
  }

  bool createFile(std::int32_t width, std::int32_t height) {
    if (stopped()) return cancelled();
    const bool created = file_.create(bmpPath_, width, height, request_.newFile);
    fileCreated_ = file_.isOpen();  // from here on a failure removes what was made
    return created || writeFailed(file_.error());
  }

  bool refuseCutShort() {
    if (!decoder_->endedEarly() || request_.keepCutShort) return true;
    return fail(FailureKind::CutShort, cutShortReason(*result_.format));
  }

  // Reads exactly count rows, stopping early at the first sign of a cut-short file
  // unless the caller keeps such pictures.
  bool readRows(std::uint8_t* const* rows, std::int32_t count) {
    for (std::int32_t got = 0; got < count;) {
      const std::int32_t read = decoder_->read(rows + got, count - got);
      if (read == 0) return decoderFailed();
      got += read;
    }
    return refuseCutShort();
  }

  bool finishReading() { return (decoder_->finish() || decoderFailed()) && refuseCutShort(); }

  bool streamFullSize() {
    if (sideways_) return turnFullSize();
    const std::int32_t width = decoder_->width(), height = decoder_->height();
    const bool flipped =
        orientation_ == Orientation::Turned180 || orientation_ == Orientation::Flipped;
    const bool mirrored =
        orientation_ == Orientation::Turned180 || orientation_ == Orientation::Mirrored;
    if (!checkFullSize(width, height) || !checkRoom(width, height)) return false;
    if (!decoder_->start(width, height)) return decoderFailed();
    if (!createFile(width, height)) return false;

    const std::size_t stride = bitmapStride(width);
    const std::int32_t bandRows = static_cast<std::int32_t>(std::min<std::size_t>(
        std::max<std::size_t>(kBandBytes / stride, kDecodeRows), static_cast<std::size_t>(height)));
    // Zeroed once: the decoder never writes the padding at the end of each row.
    std::unique_ptr<std::uint8_t[]> band(new (std::nothrow)
                                             std::uint8_t[stride * std::size_t(bandRows)]());
    if (!band) return outOfMemory(width, height);
    std::vector<std::uint8_t*> rows(static_cast<std::size_t>(bandRows));

    for (std::int32_t top = 0, count = 0; top < height; top += count) {
      if (stopped()) return cancelled();
      count = std::min(bandRows, height - top);
      // The file holds rows bottom first: the band's last row goes first, unless the
      // picture is upside down, when its rows land at the other end of the file.
      for (std::int32_t i = 0; i < count; ++i) {
        rows[static_cast<std::size_t>(i)] =
            band.get() + std::size_t(flipped ? i : count - 1 - i) * stride;
      }
      if (!readRows(rows.data(), count)) return false;
      if (mirrored) {
        for (std::int32_t i = 0; i < count; ++i) mirrorRow(rows[std::size_t(i)], width);
      }
      if (!file_.writeBand(flipped ? height - top - count : top, count, band.get())) {
        return writeFailed(file_.error());
      }
    }
    if (!finishReading()) return false;
    return file_.close() || writeFailed(file_.error());
  }

  // A quarter turn: the picture held whole, upright, then written as a canvas is.
  bool turnFullSize() {
    const std::int32_t width = result_.width, height = result_.height;
    if (!checkFullSize(width, height) || !checkRoom(width, height)) return false;
    const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * 3;
    if (bytes > request_.limits.maxPixelBytes) {
      return fail(FailureKind::TooLarge, sizeText(width, height) + " turned upright needs " +
                                             formatSize(bytes) + ", more than the " +
                                             formatSize(request_.limits.maxPixelBytes) +
                                             " allowed; choose Fit or Fill");
    }
    if (!decoder_->start(decoder_->width(), decoder_->height())) return decoderFailed();
    MallocBlock<std::uint8_t[]> upright(static_cast<std::uint8_t*>(std::malloc(bytes)));
    if (!upright) return outOfMemory(width, height);
    if (!decodeInto(upright.get(), std::size_t(width) * 3, nullptr) || !finishReading()) {
      return false;
    }
    CanvasLayout whole;
    whole.width = width;
    whole.height = height;
    return writeCanvas(upright.get(), whole);
  }

  // The size the decoder shrinks the picture to itself, as stored: the least that still
  // gives every monitor enough pixels, as far as its library can go.
  std::pair<std::int32_t, std::int32_t> decodedSize(const CanvasLayout& layout) const {
    const std::int32_t width = decoder_->width(), height = decoder_->height();
    switch (decoder_->shrinking()) {
      case Shrinking::ByEighths: {
        // The same eighths of either side, whichever way up.
        const int eighths = decodeScaleEighths(result_.width, result_.height, layout);
        return {scaledSize(width, eighths), scaledSize(height, eighths)};
      }
      case Shrinking::Freely: {
        const AveragingSteps steps = stored(
            averagingSteps(result_.width, result_.height, result_.width, result_.height, layout));
        return {width / steps.across, height / steps.down};
      }
      case Shrinking::None:
        break;
    }
    return {width, height};
  }

  // Steps counted across and down the upright picture, as they fall on the stored one.
  AveragingSteps stored(const AveragingSteps& upright) const {
    return sideways_ ? AveragingSteps{upright.down, upright.across} : upright;
  }

  // The layout and everything kept are upright; the decoder's sizes are as stored.
  bool drawOnMonitors() {
    const std::int32_t width = result_.width, height = result_.height;
    const CanvasLayout layout =
        layOut(*request_.drawn, width, height, request_.monitors, request_.tiled);
    if (layout.width <= 0) return fail(FailureKind::NoMonitor, "no monitor to draw the picture on");
    if (!checkRoom(layout.width, layout.height)) return false;
    // Black wherever no placement draws.
    const std::size_t canvasStride = std::size_t(layout.width) * 3;
    MallocBlock<std::uint8_t[]> canvas(
        static_cast<std::uint8_t*>(std::calloc(canvasStride * std::size_t(layout.height), 1)));
    if (!canvas) return outOfMemory(layout.width, layout.height);
    return drawInto(layout, canvas.get()) && writeCanvas(canvas.get(), layout);
  }

  // Resamples the picture into each of layout's placements on canvas.
  bool drawInto(const CanvasLayout& layout, std::uint8_t* canvas) {
    // The layout and everything kept are upright; the decoder's sizes are as stored.
    const std::int32_t width = result_.width, height = result_.height;
    const auto [storedWidth, storedHeight] = decodedSize(layout);
    if (!decoder_->start(storedWidth, storedHeight)) return decoderFailed();
    const std::int32_t decodedWidth = sideways_ ? storedHeight : storedWidth;
    const std::int32_t decodedHeight = sideways_ ? storedWidth : storedHeight;

    // The picture as kept: shrunk by the decoder as far as it may be, then by averaging
    // whole blocks of pixels where even that is far larger than the monitors need, so
    // that memory follows the monitors' size rather than the picture's.
    const AveragingSteps steps = averagingSteps(width, height, decodedWidth, decodedHeight, layout);
    const std::int32_t keptWidth = decodedWidth / steps.across;
    const std::int32_t keptHeight = decodedHeight / steps.down;
    const std::size_t keptStride = std::size_t(keptWidth) * 3;
    MallocBlock<std::uint8_t[]> kept(
        static_cast<std::uint8_t*>(std::malloc(keptStride * std::size_t(keptHeight))));
    if (!kept) return outOfMemory(keptWidth, keptHeight);
    const std::size_t canvasStride = std::size_t(layout.width) * 3;

    StripResampler resampler({kept.get(), keptWidth, keptHeight, keptStride},
                             cutIntoStrips(layout, double(decodedWidth) / width / steps.across,
                                           double(decodedHeight) / height / steps.down, keptHeight),
                             canvas, canvasStride);
    const bool decoded =
        steps.across == 1 && steps.down == 1
            ? decodeInto(kept.get(), keptStride, &resampler)
            : decodeAveraging(stored(steps), kept.get(), keptStride, keptHeight, resampler);
    if (!decoded || !finishReading()) return false;
    return resampler.finish() || outOfMemory(layout.width, layout.height);
  }

  // Rows come out top first, so the resampler may start on the upper strips while the
  // decoder is still busy below; turned any other way, the upright picture's top row is
  // done only with the last stored row.
  bool rowsInOrder() const {
    return orientation_ == Orientation::AsStored || orientation_ == Orientation::Mirrored;
  }
  void published(StripResampler* resampler, std::int32_t storedRows, std::int32_t storedHeight,
                 std::int32_t uprightHeight) const {
    if (resampler == nullptr) return;
    if (rowsInOrder()) {
      resampler->publish(storedRows);
    } else if (storedRows == storedHeight) {
      resampler->publish(uprightHeight);
    }
  }

  // Every decoded row into its upright place in pixels: straight there when the picture
  // is stored upright, through a band otherwise.
  bool decodeInto(std::uint8_t* upright, std::size_t uprightStride, StripResampler* resampler) {
    const std::int32_t width = decoder_->outputWidth(), height = decoder_->outputHeight();
    const std::int32_t uprightHeight = sideways_ ? width : height;
    const std::size_t stride = std::size_t(width) * 3;
    std::vector<std::uint8_t> band;
    if (orientation_ != Orientation::AsStored) band.resize(stride * kDecodeRows);
    for (std::int32_t top = 0, count = 0; top < height; top += count) {
      if (stopped()) return cancelled();
      count = std::min(kDecodeRows, height - top);
      std::uint8_t* rows[kDecodeRows];
      for (std::int32_t i = 0; i < count; ++i) {
        rows[i] = band.empty() ? upright + std::size_t(top + i) * uprightStride
                               : band.data() + std::size_t(i) * stride;
      }
      if (!readRows(rows, count)) return false;
      for (std::int32_t i = 0; !band.empty() && i < count; ++i) {
        placeRow(rows[i], width, upright,
                 placeOfRow(orientation_, width, height, top + i, uprightStride));
      }
      published(resampler, top + count, height, uprightHeight);
    }
    return true;
  }

  // Each block of steps.across x steps.down decoded pixels (as stored) becomes one kept
  // pixel, their mean, put in its upright place; the rows and columns left over at the
  // upright picture's right and bottom edges are dropped.
  bool decodeAveraging(const AveragingSteps& steps, std::uint8_t* upright,
                       std::size_t uprightStride, std::int32_t uprightHeight,
                       StripResampler& resampler) {
    const std::int32_t height = decoder_->outputHeight();
    const std::size_t stride = std::size_t(decoder_->outputWidth()) * 3;
    const std::int32_t keptWidth = decoder_->outputWidth() / steps.across;
    const std::int32_t keptHeight = height / steps.down;
    const std::size_t keptStride = std::size_t(keptWidth) * 3;
    std::vector<std::uint8_t> band(stride * kDecodeRows);
    std::vector<std::uint64_t> sums(keptStride);
    std::vector<std::uint8_t> averaged(keptStride);
    const std::uint64_t area = std::uint64_t(steps.across) * std::uint64_t(steps.down);
    const std::size_t skippedBytes = leftColumnEndsLast(orientation_)
                                         ? std::size_t(decoder_->outputWidth() % steps.across) * 3
                                         : 0;
    const std::int32_t skippedRows = topRowEndsLast(orientation_) ? height % steps.down : 0;
    std::int32_t keptRows = 0, rowsInBlock = 0;
    for (std::int32_t top = 0, count = 0; top < height; top += count) {
      if (stopped()) return cancelled();
      count = std::min(kDecodeRows, height - top);
      std::uint8_t* rows[kDecodeRows];
      for (std::int32_t i = 0; i < count; ++i) rows[i] = band.data() + std::size_t(i) * stride;
      if (!readRows(rows, count)) return false;
      for (std::int32_t i = 0; i < count && keptRows < keptHeight; ++i) {
        if (top + i < skippedRows) continue;
        const std::uint8_t* row = rows[i] + skippedBytes;
        for (std::size_t x = 0; x < keptStride; x += 3, row += 3 * steps.across) {
          for (std::int32_t k = 0; k < steps.across; ++k) {
            sums[x] += row[3 * k];
            sums[x + 1] += row[3 * k + 1];
            sums[x + 2] += row[3 * k + 2];
          }
        }
        if (++rowsInBlock < steps.down) continue;
        for (std::size_t x = 0; x < keptStride; ++x) {
          averaged[x] = static_cast<std::uint8_t>((sums[x] + area / 2) / area);
          sums[x] = 0;
        }
        placeRow(averaged.data(), keptWidth, upright,
                 placeOfRow(orientation_, keptWidth, keptHeight, keptRows++, uprightStride));
        rowsInBlock = 0;
      }
      published(&resampler, keptRows, keptHeight, uprightHeight);
    }
    return true;
  }

  // Writes the canvas bottom row first, each row and column moved by the layout's roll.
  bool writeCanvas(const std::uint8_t* canvas, const CanvasLayout& layout) {
    const std::int32_t width = layout.width, height = layout.height;
    if (!createFile(width, height)) return false;
    const std::size_t stride = bitmapStride(width), rowBytes = std::size_t(width) * 3;
    const std::int32_t bandRows = static_cast<std::int32_t>(
        std::clamp<std::size_t>(kBandBytes / stride, 1, static_cast<std::size_t>(height)));
    std::unique_ptr<std::uint8_t[]> band(new (std::nothrow)
                                             std::uint8_t[stride * std::size_t(bandRows)]());
    if (!band) return outOfMemory(width, height);
    const std::size_t rolled = std::size_t(layout.rollX) * 3;

    for (std::int32_t top = 0, count = 0; top < height; top += count) {
      if (stopped()) return cancelled();
      count = std::min(bandRows, height - top);
      for (std::int32_t i = 0; i < count; ++i) {
        // Row `shown` of the wallpaper holds canvas row shown - rollY, wrapped around.
        const std::int32_t shown = top + count - 1 - i;
        const std::int32_t source = (shown - layout.rollY + height) % height;
        const std::uint8_t* from = canvas + std::size_t(source) * rowBytes;
        std::uint8_t* to = band.get() + std::size_t(i) * stride;
        std::memcpy(to, from + rowBytes - rolled, rolled);
        std::memcpy(to + rolled, from, rowBytes - rolled);
      }
      if (!file_.writeBand(top, count, band.get())) return writeFailed(file_.error());
    }
    return file_.close() || writeFailed(file_.error());
  }

  static inline const std::string kNoPath;
  const std::string& picturePath_;
  const std::string& bmpPath_;
  const ConversionRequest& request_;
  const Mosaic* mosaic_ = nullptr;
  std::unique_ptr<PictureDecoder> decoder_;
  BitmapFile file_;
  Orientation orientation_ = Orientation::AsStored;
  bool sideways_ = false;  // a quarter turn: the upright picture's sides are swapped
  bool fileCreated_ = false;
  ConversionResult result_;
};

}  // namespace

ConversionResult convertToBitmap(const std::string& picturePath, const std::string& bmpPath,
                                 const ConversionRequest& request) {
  return Conversion(picturePath, bmpPath, request).run();
}

WallpaperResult drawWallpaper(const std::vector<WallpaperPicture>& pictures,
                              const std::string& bmpPath, const ConversionRequest& request) {
  WallpaperResult drawn;
  const CanvasLayout layout = canvasFor(request.monitors, request.tiled);
  static const std::string kNoPicture;
  const auto whole = [&](ConversionResult result) {
    drawn.failure = result.failure;
    return drawn;
  };
  if (ConversionResult room = Conversion(kNoPicture, bmpPath, request).checkCanvas(layout);
      room.failure)
    return whole(room);
  // One canvas for every picture, black wherever none is drawn; each picture's own
  // buffer lives only while that picture is drawn.
  const std::size_t canvasStride = std::size_t(layout.width) * 3;
  MallocBlock<std::uint8_t[]> canvas(
      static_cast<std::uint8_t*>(std::calloc(canvasStride * std::size_t(layout.height), 1)));
  if (!canvas) {
    drawn.failure =
        Failure{FailureKind::OutOfMemory,
                "not enough memory for a " + sizeText(layout.width, layout.height) + " picture"};
    return drawn;
  }
  const Rect box = boundingBox(request.monitors);
  for (const WallpaperPicture& picture : pictures) {
    drawn.pictures.push_back(Conversion(picture.picturePath, bmpPath, request)
                                 .drawPart(picture, layout, box, canvas.get()));
    if (drawn.pictures.back().failure) return whole(drawn.pictures.back());
  }
  return whole(Conversion(kNoPicture, bmpPath, request).writeCanvasFile(canvas.get(), layout));
}

ConversionResult convertToBitmap(const Mosaic& mosaic, const std::string& bmpPath,
                                 const ConversionRequest& request) {
  return Conversion(mosaic, bmpPath, request).run();
}

ConversionResult inspectMosaic(const Mosaic& mosaic, const std::atomic<bool>* stop) {
  ConversionRequest request;
  request.stop = stop;
  return Conversion(mosaic, "", request).inspect();
}

ConversionResult inspectPicture(const std::string& picturePath, const std::string& contentType) {
  ConversionRequest request;
  request.contentType = contentType;
  return Conversion(picturePath, "", request).inspect();
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

std::string volumeOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
  return directoryOf(path);
}

}  // namespace tessaren
