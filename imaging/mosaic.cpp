// The mosaic decoder and the PNG writer behind the picture kept of a mosaic.
#include "imaging/mosaic.h"

#include <spng.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/handles.h"

namespace tessaren {

struct PngWriter::State {
  struct FreeContext {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
  };
  Owned<spng_ctx*, FreeContext> context;
  PictureSink sink;
  std::optional<Failure> sinkFailure;
  std::vector<std::uint8_t> rgb;

  static int write(spng_ctx*, void* user, void* data, std::size_t length) {
    State& state = *static_cast<State*>(user);
    state.sinkFailure = state.sink(data, length);
    return state.sinkFailure ? SPNG_IO_ERROR : 0;
  }
  Failure failed(int error) {
    if (sinkFailure) return *sinkFailure;
    return {FailureKind::CannotWrite, std::string("can't write the PNG: ") + spng_strerror(error)};
  }
};

PngWriter::PngWriter() : state_(std::make_unique<State>()) {}
PngWriter::~PngWriter() = default;

std::optional<Failure> PngWriter::start(std::int32_t width, std::int32_t height, PictureSink sink) {
  State& s = *state_;
  s.sink = std::move(sink);
  s.rgb.assign(std::size_t(width) * 3, 0);
  s.context.reset(spng_ctx_new(SPNG_CTX_ENCODER));
  if (!s.context) return Failure{FailureKind::OutOfMemory, "not enough memory to write a PNG"};
  spng_ctx* context = s.context.get();
  spng_ihdr header{};
  header.width = static_cast<std::uint32_t>(width);
  header.height = static_cast<std::uint32_t>(height);
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  // The kept copy is read back only to draw it again: zlib's fastest level and the one
  // filter that suits photographs cost a fraction of the default's time for a file
  // about a fifth larger.
  int error = spng_set_png_stream(context, State::write, &s);
  if (error == 0) error = spng_set_ihdr(context, &header);
  if (error == 0) error = spng_set_option(context, SPNG_IMG_COMPRESSION_LEVEL, 1);
  if (error == 0) error = spng_set_option(context, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_PAETH);
  if (error == 0)
    error = spng_encode_image(context, nullptr, 0, SPNG_FMT_PNG,
                              SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  if (error != 0) return s.failed(error);
  return std::nullopt;
}

std::optional<Failure> PngWriter::row(const std::uint8_t* pixels) {
  State& s = *state_;
  for (std::size_t x = 0; x < s.rgb.size(); x += 3) {
    s.rgb[x] = pixels[x + 2];
    s.rgb[x + 1] = pixels[x + 1];
    s.rgb[x + 2] = pixels[x];
  }
  const int error = spng_encode_row(s.context.get(), s.rgb.data(), s.rgb.size());
  if (error != 0 && error != SPNG_EOI) return s.failed(error);
  return std::nullopt;
}

namespace {

std::string sizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

class MosaicDecoder final : public PictureDecoder {
 public:
  MosaicDecoder(const Mosaic& mosaic, PictureSink assembled, std::optional<PictureFormat>& format)
      : mosaic_(mosaic), assembled_(std::move(assembled)), format_(format) {}

  bool open(OwnedFile, const DecodeLimits& limits, const std::atomic<bool>* stop) override {
    limits_ = limits;
    stop_ = stop;
    const std::size_t count = std::size_t(mosaic_.columns) * std::size_t(mosaic_.rows);
    if (count == 0 || mosaic_.tiles.size() != count || mosaic_.names.size() != count)
      return fail(FailureKind::BrokenPicture, "a mosaic without tiles");
    // Every header first: a tile of another size, or a whole too large, is refused before
    // anything is decoded.
    for (std::size_t i = 0; i < count; ++i) {
      std::unique_ptr<PictureDecoder> tile = openTile(i);
      if (!tile) return false;
      if (i == 0) {
        tileWidth_ = tile->width();
        tileHeight_ = tile->height();
      } else if (tile->width() != tileWidth_ || tile->height() != tileHeight_) {
        return fail(FailureKind::BrokenPicture,
                    mosaic_.names[i] + " is " + sizeText(tile->width(), tile->height()) +
                        ", the others " + sizeText(tileWidth_, tileHeight_));
      }
    }
    const std::int64_t width = std::int64_t(tileWidth_) * mosaic_.columns;
    const std::int64_t height = std::int64_t(tileHeight_) * mosaic_.rows;
    const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
    const std::string whole =
        std::to_string(mosaic_.columns) + " x " + std::to_string(mosaic_.rows) + " tiles of " +
        sizeText(tileWidth_, tileHeight_) + " (" + sizeText(width, height) + ")";
    if (width > limits.maxSide || height > limits.maxSide)
      return fail(FailureKind::TooLarge, whole + " are larger than Tessaren reads (at most " +
                                             std::to_string(limits.maxSide) + " pixels a side)");
    if (pixels > limits.maxPixels)
      return fail(FailureKind::TooLarge,
                  whole + " are larger than Tessaren reads (" + std::to_string(pixels / 1000000) +
                      " million pixels; at most " + std::to_string(limits.maxPixels / 1000000) +
                      " million)");
    // A row of tiles is open at once, and some formats hold each tile whole.
    const std::uint64_t rowBytes =
        std::uint64_t(tileWidth_) * std::uint64_t(tileHeight_) * 4 * std::uint64_t(mosaic_.columns);
    if (rowBytes > limits.maxPixelBytes)
      return fail(FailureKind::TooLarge, whole + ": a row of tiles needs more than " +
                                             std::to_string(limits.maxPixelBytes >> 20) +
                                             " MB to decode");
    width_ = static_cast<std::int32_t>(width);
    height_ = static_cast<std::int32_t>(height);
    return true;
  }

  bool start(std::int32_t outputWidth, std::int32_t outputHeight) override {
    if (outputWidth != width_ || outputHeight != height_)
      return fail(FailureKind::BrokenPicture, "a mosaic is read at its own size");
    outputWidth_ = width_;
    outputHeight_ = height_;
    if (assembled_) {
      if (auto failure = writer_.start(width_, height_, assembled_))
        return fail(failure->kind, failure->detail);
    }
    return true;
  }

  std::int32_t read(std::uint8_t* const* rows, std::int32_t count) override {
    if (failure_ || next_ >= height_) return 0;
    const std::int32_t tileRow = next_ / tileHeight_;
    if (next_ % tileHeight_ == 0 && !openRow(tileRow)) return 0;
    const std::int32_t n = std::min(count, tileHeight_ - next_ % tileHeight_);
    std::vector<std::uint8_t*> parts(static_cast<std::size_t>(n));
    for (std::int32_t column = 0; column < mosaic_.columns; ++column) {
      PictureDecoder& tile = *open_[static_cast<std::size_t>(column)];
      const std::size_t offset = std::size_t(column) * std::size_t(tileWidth_) * 3;
      for (std::int32_t got = 0; got < n;) {
        for (std::int32_t i = got; i < n; ++i) parts[std::size_t(i - got)] = rows[i] + offset;
        const std::int32_t read = tile.read(parts.data(), n - got);
        if (read == 0) return tileFailed(tile, tileRow, column);
        got += read;
      }
      endedEarly_ = endedEarly_ || tile.endedEarly();
    }
    if (assembled_) {
      for (std::int32_t i = 0; i < n; ++i) {
        if (auto failure = writer_.row(rows[i])) {
          fail(failure->kind, failure->detail);
          return 0;
        }
      }
    }
    next_ += n;
    if (next_ % tileHeight_ == 0) {
      for (std::int32_t column = 0; column < mosaic_.columns; ++column) {
        PictureDecoder& tile = *open_[static_cast<std::size_t>(column)];
        if (!tile.finish()) return tileFailed(tile, tileRow, column);
      }
      open_.clear();
    }
    return n;
  }

  bool finish() override { return !failure_ && next_ == height_; }

 private:
  // The tile's decoder with its header read, or nothing with the reason recorded.
  std::unique_ptr<PictureDecoder> openTile(std::size_t index) {
    if (stopped(stop_)) {
      const Failure cancelled = cancelledFailure();
      fail(cancelled.kind, cancelled.detail);
      return nullptr;
    }
    const std::string& path = mosaic_.tiles[index];
    const std::string& name = mosaic_.names[index];
    OwnedFile file(std::fopen(path.c_str(), "rb"));
    if (!file) {
      fail(FailureKind::CannotRead, "can't read " + path + ": " + std::strerror(errno));
      return nullptr;
    }
    std::uint8_t first[kFirstBytes];
    const std::size_t got = std::fread(first, 1, sizeof first, file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    const std::optional<PictureFormat> format = pictureFormatOf({first, got});
    if (!format) {
      fail(FailureKind::NotAPicture, name + ": " + notAPictureReason("", {first, got}));
      return nullptr;
    }
    if (!format_) format_ = format;
    std::unique_ptr<PictureDecoder> tile = makeDecoder(*format);
    if (!tile->open(std::move(file), limits_, stop_)) {
      tileFailed(*tile, -1, -1, name);
      return nullptr;
    }
    return tile;
  }

  bool openRow(std::int32_t row) {
    open_.clear();
    for (std::int32_t column = 0; column < mosaic_.columns; ++column) {
      std::unique_ptr<PictureDecoder> tile =
          openTile(std::size_t(row) * std::size_t(mosaic_.columns) + std::size_t(column));
      if (!tile) return false;
      // The file may have changed since its header was read: it is read again here.
      if (tile->width() != tileWidth_ || tile->height() != tileHeight_ ||
          !tile->start(tileWidth_, tileHeight_)) {
        if (!tile->failure())
          return fail(FailureKind::BrokenPicture, nameOf(row, column) + " changed its size");
        tileFailed(*tile, row, column);
        return false;
      }
      open_.push_back(std::move(tile));
    }
    return true;
  }

  std::string nameOf(std::int32_t row, std::int32_t column) const {
    return mosaic_.names[std::size_t(row) * std::size_t(mosaic_.columns) + std::size_t(column)];
  }

  // The tile's failure as the mosaic's, named: "tile x=1, y=0: broken PNG picture (...)".
  std::int32_t tileFailed(const PictureDecoder& tile, std::int32_t row, std::int32_t column,
                          const std::string& known = "") {
    const std::string name = known.empty() ? nameOf(row, column) : known;
    const std::optional<Failure>& why = tile.failure();
    if (why && why->kind == FailureKind::Cancelled) {
      fail(why->kind, why->detail);
    } else {
      fail(why ? why->kind : FailureKind::BrokenPicture,
           name + ": " + (why ? why->detail : "the picture decoder gave up"));
    }
    return 0;
  }

  const Mosaic& mosaic_;
  PictureSink assembled_;
  std::optional<PictureFormat>& format_;
  DecodeLimits limits_;
  const std::atomic<bool>* stop_ = nullptr;
  std::int32_t tileWidth_ = 0;
  std::int32_t tileHeight_ = 0;
  std::int32_t next_ = 0;                              // the next row handed out
  std::vector<std::unique_ptr<PictureDecoder>> open_;  // the current row of tiles
  PngWriter writer_;
};

}  // namespace

std::unique_ptr<PictureDecoder> makeMosaicDecoder(const Mosaic& mosaic, PictureSink assembled,
                                                  std::optional<PictureFormat>& format) {
  return std::make_unique<MosaicDecoder>(mosaic, std::move(assembled), format);
}

}  // namespace tessaren
