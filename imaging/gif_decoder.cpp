// GIF decoding with giflib, record by record. A first pass reads only the records and
// skips each frame's compressed data without decoding it: it counts the frames (refusing
// more than the limit before any pixel is decoded), and learns each frame's place and
// disposal. The second pass composes the last frame the way it is shown: frames drawn in
// order over a canvas that starts transparent, each disposal honoured. Only the pixels
// that survive are decoded: a frame restored to the previous picture, or to the
// background, before the next is drawn leaves nothing of itself (the latter clears its
// area), a frame wholly outside the picture leaves nothing either, and the lines of a
// frame past the picture's last row are skipped undecoded. What remains to decode is
// added up before any of it is, and refused beyond the pixel limit: a file of a few KB
// can ask for billions of pixels, every one of which LZW must decode in turn. The
// canvas is the whole picture, except for a GIF of one frame that is not interlaced,
// whose rows stream straight out. Transparent pixels show black. giflib's error codes are
// few and some stand for several things (it reports an LZW code size above 8 as a failed
// read): a refusal says what was found, seen from the bytes the library was handed.
#include <gif_lib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/picture_decoder.h"
#include "platform/handles.h"

namespace tessaren {
namespace {

struct CloseGif {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using OwnedGif = Owned<GifFileType*, CloseGif>;

constexpr PictureFormat kGif = PictureFormat::Gif;

// The largest LZW code size GIF allows: 8-bit colour indices.
constexpr int kMaxLzwCodeSize = 8;

// What each of giflib's refusals means, for the codes that have one meaning. A file that
// ended early, memory, an unknown record and the code size are told apart before.
std::string refusalText(int error) {
  switch (error) {
    case D_GIF_ERR_OPEN_FAILED:
    case D_GIF_ERR_NOT_READABLE:
    case D_GIF_ERR_CLOSE_FAILED:
    case D_GIF_ERR_READ_FAILED:
      return "giflib could not read it (error " + std::to_string(error) + ")";
    case D_GIF_ERR_NOT_GIF_FILE:
      return "it does not start with GIF's signature";
    case D_GIF_ERR_NO_SCRN_DSCR:
      return "its screen descriptor can't be read";
    case D_GIF_ERR_NO_IMAG_DSCR:
      return "no frames";
    case D_GIF_ERR_NO_COLOR_MAP:
      return "a frame without colours";
    case D_GIF_ERR_WRONG_RECORD:
      return "a record of an unknown kind";
    case D_GIF_ERR_DATA_TOO_BIG:
      return "a frame holds more pixels than its size";
    case D_GIF_ERR_NOT_ENOUGH_MEM:
      return "not enough memory";
    case D_GIF_ERR_IMAGE_DEFECT:
      return "a frame's compressed data is damaged: its LZW codes can't be decoded";
    case D_GIF_ERR_EOF_TOO_SOON:
      return "a frame's compressed data ends before its last pixel";
    default:
      return "giflib error " + std::to_string(error);
  }
}

// How often the decoding of a frame looks at the stop flag, in rows.
constexpr int kRowsBetweenStopChecks = 64;

// Interlaced frames store every eighth row from 0, every eighth from 4, every fourth from
// 2, then every second from 1.
constexpr std::int32_t kPassFirst[] = {0, 4, 2, 1}, kPassStep[] = {8, 8, 4, 2};

// How many of the first `rows` rows of an interlaced frame its pass stores.
std::int32_t rowsOfPass(std::int32_t rows, int pass) {
  return rows > kPassFirst[pass] ? (rows - kPassFirst[pass] + kPassStep[pass] - 1) / kPassStep[pass]
                                 : 0;
}

struct Frame {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  int disposal = DISPOSAL_UNSPECIFIED;
  int transparent = NO_TRANSPARENT_COLOR;
};

class GifDecoder final : public PictureDecoder {
 public:
  bool open(OwnedFile file, const DecodeLimits& limits, const std::atomic<bool>* stop) override {
    file_ = std::move(file);
    stop_ = stop;
    if (!openGif()) return false;
    if (!scanRecords(limits)) return false;
    const Frame& first = frames_.front();
    // A screen smaller than the first frame (some writers leave it 0 x 0) grows to hold it.
    const std::int64_t width = std::max<std::int64_t>(gif_.get()->SWidth, first.left + first.width);
    const std::int64_t height =
        std::max<std::int64_t>(gif_.get()->SHeight, first.top + first.height);
    if (!setSize(width, height, limits, kGif)) return false;
    // Every line of a frame is decoded whole, also where it reaches past the right edge.
    std::uint64_t work = 0;
    for (std::size_t index = 0; index < frames_.size(); ++index) {
      work += std::uint64_t(linesToDecode(index)) * std::uint64_t(frames_[index].width);
    }
    if (!checkAnimationWork(work, frames_.size(), limits, kGif)) return false;
    streamed_ = frames_.size() == 1 && !first.interlaced && first.width > 0 && first.height > 0;
    if (!streamed_) {
      return checkWholePicture(std::uint64_t(width_) * std::uint64_t(height_) * 3, limits, kGif);
    }
    return true;
  }

  bool start(std::int32_t outputWidth, std::int32_t outputHeight) override {
    if (failure_) return false;
    if (outputWidth != width_ || outputHeight != height_) {
      return fail(FailureKind::BrokenPicture, brokenReason(kGif, "GIF cannot be shrunk"));
    }
    outputWidth_ = width_;
    outputHeight_ = height_;
    // The second pass, from the top of the file.
    if (std::fseek(file_.get(), 0, SEEK_SET) != 0) return cannotRead();
    fileEnded_ = false;
    if (!openGif()) return false;
    line_.resize(std::size_t(std::max_element(frames_.begin(), frames_.end(), [](auto& a, auto& b) {
                               return a.width < b.width;
                             })->width));
    endedEarly_ = endedBeforeTrailer_;
    if (streamed_) return nextFrame();
    const std::size_t bytes = std::size_t(width_) * std::size_t(height_) * 3;
    canvas_.reset(static_cast<std::uint8_t*>(std::calloc(bytes, 1)));
    if (!canvas_) return fail(FailureKind::OutOfMemory, "not enough memory for the GIF");
    return composeFrames();
  }

  std::int32_t read(std::uint8_t* const* rows, std::int32_t count) override {
    if (failure_ || count <= 0 || nextRow_ >= height_) return 0;
    count = std::min(count, height_ - nextRow_);
    const std::size_t rowBytes = std::size_t(width_) * 3;
    for (std::int32_t i = 0; i < count; ++i, ++nextRow_) {
      if (canvas_) {
        std::memcpy(rows[i], canvas_.get() + std::size_t(nextRow_) * rowBytes, rowBytes);
        continue;
      }
      std::memset(rows[i], 0, rowBytes);
      const Frame& frame = frames_.front();
      if (nextRow_ >= frame.top && nextRow_ < frame.top + frame.height && !dataEnded_) {
        if (!decodeLine(frame)) return 0;
        if (!dataEnded_) drawLine(frame, rows[i]);
      }
    }
    return count;
  }

  bool finish() override { return !failure_; }

 private:
  static int readFromFile(GifFileType* gif, GifByteType* into, int length) {
    auto* self = static_cast<GifDecoder*>(gif->UserData);
    const std::size_t got = std::fread(into, 1, std::size_t(length), self->file_.get());
    if (got < std::size_t(length)) self->fileEnded_ = true;
    if (got > 0) self->lastByte_ = into[got - 1];
    return static_cast<int>(got);
  }

  bool openGif() {
    int error = 0;
    gif_.reset(DGifOpen(this, readFromFile, &error));
    return gif_ || failed(error);
  }

  bool cannotRead() { return fail(FailureKind::CannotRead, "can't read the GIF"); }

  bool failed(int error) {
    if (fileEnded_) return fail(FailureKind::CutShort, cutShortReason(kGif));
    if (error == D_GIF_ERR_NOT_ENOUGH_MEM) {
      return fail(FailureKind::OutOfMemory, "not enough memory for the GIF");
    }
    if (error == D_GIF_ERR_WRONG_RECORD) {
      // giflib has just read the byte that names the record.
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", unsigned(lastByte_));
      return fail(FailureKind::BrokenPicture,
                  brokenReason(kGif, std::string("a frame or extension should begin where it has "
                                                 "the byte ") +
                                         byte));
    }
    return fail(FailureKind::BrokenPicture, brokenReason(kGif, refusalText(error)));
  }
  bool failed() { return failed(gif_ ? gif_.get()->Error : 0); }

  // A frame's header ends with its LZW code size, the last byte giflib reads there; it
  // calls one above 8 a failed read although the file goes on.
  bool imageHeaderFailed() {
    if (!fileEnded_ && gif_.get()->Error == D_GIF_ERR_READ_FAILED && lastByte_ > kMaxLzwCodeSize) {
      return fail(FailureKind::BrokenPicture,
                  "this GIF uses an LZW code size of " + std::to_string(lastByte_) +
                      "; GIF allows at most " + std::to_string(kMaxLzwCodeSize));
    }
    return failed();
  }

  // The frame's colours as the next GraphicsControlBlock extension says, if one comes.
  bool readExtension(Frame& next) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif_.get(), &code, &block) == GIF_ERROR) return failed();
    if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr) {
      GraphicsControlBlock control;
      if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_ERROR) return failed();
      next.disposal = control.DisposalMode;
      next.transparent = control.TransparentColor;
    }
    while (block != nullptr) {
      if (DGifGetExtensionNext(gif_.get(), &block) == GIF_ERROR) return failed();
    }
    return true;
  }

  // Past a frame's compressed data without decoding it.
  bool skipFrameData() {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif_.get(), &codeSize, &block) == GIF_ERROR) return failed();
    while (block != nullptr) {
      if (DGifGetCodeNext(gif_.get(), &block) == GIF_ERROR) return failed();
    }
    return true;
  }

  // The first pass: every frame's place and disposal, and how many there are.
  bool scanRecords(const DecodeLimits& limits) {
    Frame next;
    bool ok = true;
    while (ok) {
      if (stopped(stop_)) return fail(FailureKind::Cancelled, "cancelled");
      GifRecordType type = UNDEFINED_RECORD_TYPE;
      if (DGifGetRecordType(gif_.get(), &type) == GIF_ERROR) {
        // Bytes that are no record after the last frame end the picture, as in browsers.
        if (!fileEnded_ && !frames_.empty()) break;
        ok = failed();
      } else if (type == TERMINATE_RECORD_TYPE) {
        break;
      } else if (type == EXTENSION_RECORD_TYPE) {
        ok = readExtension(next);
      } else if (DGifGetImageHeader(gif_.get()) == GIF_ERROR) {
        ok = imageHeaderFailed();
      } else {
        if (frames_.size() == std::size_t(limits.maxFrames)) {
          return fail(FailureKind::TooLarge,
                      "GIF has more than " + std::to_string(limits.maxFrames) + " frames");
        }
        const GifImageDesc& image = gif_.get()->Image;
        next.left = image.Left, next.top = image.Top;
        next.width = image.Width, next.height = image.Height;
        next.interlaced = image.Interlace;
        if (image.ColorMap == nullptr && gif_.get()->SColorMap == nullptr) {
          return fail(FailureKind::BrokenPicture, brokenReason(kGif, "a frame without colours"));
        }
        frames_.push_back(next);
        next = Frame();
        ok = skipFrameData();
      }
    }
    // A file that ends early keeps the frames it has.
    if (!ok && !fileEnded_) return false;
    failure_.reset();
    if (frames_.empty()) {
      return fileEnded_ ? fail(FailureKind::CutShort, cutShortReason(kGif))
                        : fail(FailureKind::BrokenPicture, brokenReason(kGif, "no frames"));
    }
    endedBeforeTrailer_ = fileEnded_;
    return true;
  }

  // Reads records to the next frame's header.
  bool nextFrame() {
    for (;;) {
      GifRecordType type = UNDEFINED_RECORD_TYPE;
      if (DGifGetRecordType(gif_.get(), &type) == GIF_ERROR) return failed();
      if (type == EXTENSION_RECORD_TYPE) {
        Frame ignored;
        if (!readExtension(ignored)) return false;
        continue;
      }
      if (type != IMAGE_DESC_RECORD_TYPE) return failed(D_GIF_ERR_WRONG_RECORD);
      if (DGifGetImageHeader(gif_.get()) == GIF_ERROR) return imageHeaderFailed();
      colours_ = gif_.get()->Image.ColorMap ? gif_.get()->Image.ColorMap : gif_.get()->SColorMap;
      return true;
    }
  }

  // The frame's next line into line_. A file that ends here sets dataEnded_.
  bool decodeLine(const Frame& frame) {
    if (DGifGetLine(gif_.get(), line_.data(), frame.width) == GIF_OK) return true;
    if (!fileEnded_) return failed();
    dataEnded_ = endedEarly_ = true;
    return true;
  }

  // The row of the frame its nth line belongs to.
  static std::int32_t rowOfLine(const Frame& frame, std::int32_t line) {
    if (!frame.interlaced) return line;
    for (int pass = 0; pass < 4; ++pass) {
      const std::int32_t rows = rowsOfPass(frame.height, pass);
      if (line < rows) return kPassFirst[pass] + line * kPassStep[pass];
      line -= rows;
    }
    return frame.height;  // past the frame: drawn nowhere
  }

  // How many of the frame's first lines hold every pixel it leaves on the picture; the
  // rest of its data is skipped undecoded. GIF's offsets are unsigned, so a frame can
  // only reach past the right and bottom edges.
  std::int32_t linesToDecode(std::size_t index) const {
    const Frame& frame = frames_[index];
    const bool last = index + 1 == frames_.size();
    if (!last && (frame.disposal == DISPOSE_BACKGROUND || frame.disposal == DISPOSE_PREVIOUS)) {
      return 0;
    }
    if (frame.width == 0 || frame.left >= width_ || frame.top >= height_) return 0;
    const std::int32_t shown = std::min(frame.height, height_ - frame.top);
    if (!frame.interlaced) return shown;
    // Up to the last pass that stores a shown row, and in it up to that row.
    std::int32_t lines = 0, needed = 0;
    for (int pass = 0; pass < 4; ++pass) {
      if (rowsOfPass(shown, pass) > 0) needed = lines + rowsOfPass(shown, pass);
      lines += rowsOfPass(frame.height, pass);
    }
    return needed;
  }

  // line_'s opaque pixels over `row`, the picture row the line falls on, BGR.
  void drawLine(const Frame& frame, std::uint8_t* row) const {
    const std::int32_t first = std::max(0, -frame.left);
    const std::int32_t end = std::min(frame.width, width_ - frame.left);
    for (std::int32_t x = first; x < end; ++x) {
      const int index = line_[std::size_t(x)];
      if (index == frame.transparent || index >= colours_->ColorCount) continue;
      const GifColorType& colour = colours_->Colors[index];
      std::uint8_t* pixel = row + std::size_t(frame.left + x) * 3;
      pixel[0] = colour.Blue, pixel[1] = colour.Green, pixel[2] = colour.Red;
    }
  }

  void clearArea(const Frame& frame) {
    const std::int32_t left = std::clamp(frame.left, 0, width_);
    const std::int32_t right = std::clamp(frame.left + frame.width, 0, width_);
    for (std::int32_t y = std::max(frame.top, 0); y < std::min(frame.top + frame.height, height_);
         ++y) {
      std::memset(canvas_.get() + (std::size_t(y) * width_ + left) * 3, 0,
                  std::size_t(right - left) * 3);
    }
  }

  // The second pass over a canvas: every frame in order, as it is left for the next.
  bool composeFrames() {
    const std::size_t rowBytes = std::size_t(width_) * 3;
    for (std::size_t index = 0; index < frames_.size() && !dataEnded_; ++index) {
      if (stopped(stop_)) return fail(FailureKind::Cancelled, "cancelled");
      const Frame& frame = frames_[index];
      if (!nextFrame()) return fileEnded_ ? ended() : false;
      const bool last = index + 1 == frames_.size();
      const std::int32_t lines = linesToDecode(index);
      if (lines == 0) {
        // Gone before the next frame is drawn, or nowhere on the picture: only a cleared
        // area may remain.
        if (!skipFrameData()) return fileEnded_ ? ended() : false;
        if (frame.disposal == DISPOSE_BACKGROUND && !last) clearArea(frame);
        continue;
      }
      for (std::int32_t line = 0; line < lines && !dataEnded_; ++line) {
        if (line % kRowsBetweenStopChecks == 0 && stopped(stop_)) {
          return fail(FailureKind::Cancelled, "cancelled");
        }
        if (!decodeLine(frame)) return false;
        const std::int32_t row = frame.top + rowOfLine(frame, line);
        if (!dataEnded_ && row >= 0 && row < height_) {
          drawLine(frame, canvas_.get() + std::size_t(row) * rowBytes);
        }
      }
      // giflib reads on to the end of a frame's data by itself only after its last line.
      if (lines < frame.height && !dataEnded_ && !skipFrameData()) {
        return fileEnded_ ? ended() : false;
      }
    }
    return true;
  }

  // The file ended between records of the second pass: the canvas stays as it is.
  bool ended() {
    failure_.reset();
    dataEnded_ = endedEarly_ = true;
    return true;
  }

  OwnedFile file_;
  OwnedGif gif_;
  const std::atomic<bool>* stop_ = nullptr;
  std::vector<Frame> frames_;
  std::vector<GifPixelType> line_;
  const ColorMapObject* colours_ = nullptr;  // of the frame being decoded
  MallocBlock<std::uint8_t[]> canvas_;       // BGR; black where nothing opaque was drawn
  std::int32_t nextRow_ = 0;
  bool streamed_ = false;
  bool fileEnded_ = false;           // the read function came up short
  std::uint8_t lastByte_ = 0;        // the last byte handed to giflib
  bool endedBeforeTrailer_ = false;  // the first pass found the file ending early
  bool dataEnded_ = false;           // the second pass ran out inside a frame
};

}  // namespace

std::unique_ptr<PictureDecoder> makeGifDecoder() { return std::make_unique<GifDecoder>(); }

}  // namespace tessaren
