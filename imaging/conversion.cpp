// The conversion pipelines. At full size no picture buffer exists: each band of decoded
// rows is written straight to its place in the file. Fit, Fill and Span decode at the
// smallest DCT scale that still gives every monitor enough pixels, resample each
// monitor's part into a canvas the size of the monitors' bounding box, and write that.
#include "imaging/conversion.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/bitmap_writer.h"
#include "imaging/desktop_api.h"
#include "imaging/resample.h"

namespace tessaren {
namespace {

// Half a MiB of rows at a time: small enough to stay in the cache between the decoder
// and the write, large enough that the write is one system call for many rows.
constexpr std::size_t kBandBytes = 512 * 1024;
constexpr std::int32_t kDecodeRows = 16;

std::string sizeText(std::int32_t width, std::int32_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

class Conversion {
 public:
  Conversion(const std::string& jpegPath, const std::string& bmpPath,
             const ConversionRequest& request)
      : jpegPath_(jpegPath), bmpPath_(bmpPath), request_(request) {}

  ConversionResult run() {
    if (!reader_.open(jpegPath_, request_.limits)) {
      fail(reader_.reason());
    } else {
      result_.width = reader_.width();
      result_.height = reader_.height();
      if (request_.fit ? drawOnMonitors() : streamFullSize()) {
        result_.written = true;
        result_.cutShort = reader_.endedEarly();
        return result_;
      }
    }
    if (fileCreated_) {
      file_.close();
      std::remove(bmpPath_.c_str());
    }
    return result_;
  }

 private:
  bool fail(const std::string& reason) {
    if (result_.reason.empty()) result_.reason = reason;
    return false;
  }
  bool stopped() const {
    return request_.stop != nullptr && request_.stop->load(std::memory_order_relaxed);
  }
  bool cancelled() { return fail("cancelled"); }
  bool outOfMemory(std::int32_t width, std::int32_t height) {
    return fail("not enough memory for a " + sizeText(width, height) + " picture");
  }
  bool writeFailed(int error) {
    const std::string& shown = request_.shownPath.empty() ? bmpPath_ : request_.shownPath;
    return fail("can't write " + shown + ": " +
                (error == ENOSPC ? std::string("disk full") : std::strerror(error)));
  }

  // The file must be one a BMP header can describe, and fit on its volume with room to spare.
  bool checkRoom(std::int32_t width, std::int32_t height) {
    const std::uint64_t size = bitmapFileSize(width, height);
    if (size == 0)
      return fail("picture too large for a BMP file (" + sizeText(width, height) + ")");
    const std::optional<std::uint64_t> free = desktopApi().freeBytes(directoryOf(bmpPath_));
    if (free && *free < size + kFreeSpaceHeadroom) {
      return fail("not enough free space on " + volumeOf(bmpPath_) + " for a " +
                  std::to_string((size + 999999) / 1000000) + " MB picture");
    }
    return true;
  }

  bool createFile(std::int32_t width, std::int32_t height) {
    const bool created = file_.create(bmpPath_, width, height);
    fileCreated_ = file_.isOpen();  // from here on a failure removes what was made
    return created || writeFailed(file_.error());
  }

  // Reads exactly count rows, stopping early at the first sign of a cut-short file
  // unless the caller keeps such pictures.
  bool readRows(std::uint8_t* const* rows, std::int32_t count) {
    for (std::int32_t got = 0; got < count;) {
      const std::int32_t read = reader_.read(rows + got, count - got);
      if (read == 0) return fail(reader_.reason());
      got += read;
    }
    if (reader_.endedEarly() && !request_.keepCutShort) return fail("JPEG cut short");
    return true;
  }

  bool finishReading() {
    if (!reader_.finish()) return fail(reader_.reason());
    if (reader_.endedEarly() && !request_.keepCutShort) return fail("JPEG cut short");
    return true;
  }

  bool streamFullSize() {
    const std::int32_t width = reader_.width(), height = reader_.height();
    if (!checkRoom(width, height)) return false;
    if (!reader_.start(8, true)) return fail(reader_.reason());
    if (!createFile(width, height)) return false;

    const std::size_t stride = bitmapStride(width);
    const std::int32_t bandRows = static_cast<std::int32_t>(std::clamp<std::size_t>(
        kBandBytes / stride, kDecodeRows, static_cast<std::size_t>(height)));
    // Zeroed once: the decoder never writes the padding at the end of each row.
    std::unique_ptr<std::uint8_t[]> band(new (std::nothrow)
                                             std::uint8_t[stride * std::size_t(bandRows)]());
    if (!band) return outOfMemory(width, height);
    std::vector<std::uint8_t*> rows(static_cast<std::size_t>(bandRows));

    for (std::int32_t top = 0, count = 0; top < height; top += count) {
      if (stopped()) return cancelled();
      count = std::min(bandRows, height - top);
      // The file holds rows bottom first: the band's last row goes first.
      for (std::int32_t i = 0; i < count; ++i) {
        rows[static_cast<std::size_t>(i)] = band.get() + std::size_t(count - 1 - i) * stride;
      }
      if (!readRows(rows.data(), count)) return false;
      if (!file_.writeBand(top, count, band.get())) return writeFailed(file_.error());
    }
    if (!finishReading()) return false;
    return file_.close() || writeFailed(file_.error());
  }

  bool drawOnMonitors() {
    const std::int32_t width = reader_.width(), height = reader_.height();
    const CanvasLayout layout =
        layOut(*request_.fit, width, height, request_.monitors, request_.tiled);
    if (layout.width <= 0) return fail("no monitor to draw the picture on");
    if (!checkRoom(layout.width, layout.height)) return false;
    if (!reader_.start(decodeScaleEighths(width, height, layout), true)) {
      return fail(reader_.reason());
    }

    // The picture as decoded, already shrunk by the decoder as far as it may be.
    const std::int32_t decodedWidth = reader_.outputWidth();
    const std::int32_t decodedHeight = reader_.outputHeight();
    const std::size_t decodedStride = std::size_t(decodedWidth) * 3;
    std::unique_ptr<std::uint8_t[], FreeDeleter> decoded(
        static_cast<std::uint8_t*>(std::malloc(decodedStride * std::size_t(decodedHeight))));
    if (!decoded) return outOfMemory(decodedWidth, decodedHeight);
    for (std::int32_t top = 0, count = 0; top < decodedHeight; top += count) {
      if (stopped()) return cancelled();
      count = std::min(kDecodeRows, decodedHeight - top);
      std::uint8_t* rows[kDecodeRows];
      for (std::int32_t i = 0; i < count; ++i) {
        rows[i] = decoded.get() + std::size_t(top + i) * decodedStride;
      }
      if (!readRows(rows, count)) return false;
    }
    if (!finishReading()) return false;

    // Black wherever no placement draws.
    const std::size_t canvasStride = std::size_t(layout.width) * 3;
    std::unique_ptr<std::uint8_t[], FreeDeleter> canvas(
        static_cast<std::uint8_t*>(std::calloc(canvasStride * std::size_t(layout.height), 1)));
    if (!canvas) return outOfMemory(layout.width, layout.height);
    const PixelView view{decoded.get(), decodedWidth, decodedHeight, decodedStride};
    const double across = double(decodedWidth) / width, down = double(decodedHeight) / height;
    for (const Placement& p : layout.placements) {
      if (stopped()) return cancelled();
      const SourceRegion region{p.source.left * across, p.source.top * down,
                                p.source.right * across, p.source.bottom * down};
      std::uint8_t* at =
          canvas.get() + std::size_t(p.target.top) * canvasStride + std::size_t(p.target.left) * 3;
      if (!resampleRegion(view, region, at, p.target.width(), p.target.height(), canvasStride)) {
        return outOfMemory(p.target.width(), p.target.height());
      }
    }
    decoded.reset();
    return writeCanvas(canvas.get(), layout);
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

  const std::string& jpegPath_;
  const std::string& bmpPath_;
  const ConversionRequest& request_;
  JpegReader reader_;
  BitmapFile file_;
  bool fileCreated_ = false;
  ConversionResult result_;
};

}  // namespace

ConversionResult convertJpegToBitmap(const std::string& jpegPath, const std::string& bmpPath,
                                     const ConversionRequest& request) {
  return Conversion(jpegPath, bmpPath, request).run();
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
