// JPEG decoding on the IJG interface of libjpeg-turbo, at full size or shrunk by the
// decoder's own DCT scaling. The library reports errors by calling error_exit, which must
// not return: ours long-jumps back into the step that called the library. Each step is a
// plain function that owns nothing with a destructor, so the jump skips no C++ clean-up;
// the decompression object and the file belong to JpegDecoder's owners, which release
// them on every path.
#include <algorithm>
#include <atomic>
#include <climits>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// jpeglib.h needs FILE and size_t declared first.
// clang-format off
#include <jerror.h>
#include <jpeglib.h>
// clang-format on

#include "imaging/picture_decoder.h"
#include "imaging/picture_geometry.h"
#include "platform/handles.h"
#include "platform/text.h"

namespace tessaren {
namespace {

// A decompression object after jpeg_create_decompress; its pools go with it.
struct DestroyDecompress {
  void operator()(j_decompress_ptr info) const { jpeg_destroy_decompress(info); }
};
using OwnedDecompress = Owned<j_decompress_ptr, DestroyDecompress>;

// Our own file source reads this much at a time, a sixteenth of the stdio source's
// system calls, and sees for itself when the file ends before the picture does.
constexpr std::size_t kSourceBufferBytes = 64 * 1024;
constexpr JDIMENSION kCmykRows = 16;

// Our own refusals, beside the library's message codes.
enum : int { kUnsupportedComponents = 10000, kTooManyScans, kDecoderStuck, kWrongOutput, kStopped };

// The standard manager comes first: the library hands error_exit only the object, and
// the object points at this.
struct JpegErrorManager {
  jpeg_error_mgr standard;
  std::jmp_buf recovery;
};

// Called once per row of blocks while the library reads a scan, and once per call that
// hands out rows: the one place that sees inside jpeg_start_decompress, which reads
// every scan of a progressive picture before the first row comes out.
struct Progress {
  jpeg_progress_mgr standard;
  int maxScans;
  const std::atomic<bool>* stop;
};

struct FileSource {
  jpeg_source_mgr standard;
  std::FILE* file;
  bool atStart;
  bool endedEarly;
  JOCTET buffer[kSourceBufferBytes];
};

// Everything the steps share, in plain fields: it crosses the set-jump.
struct JpegState {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  Progress progress;
  FileSource source;
  bool cmyk;
  int failureCode;
  char message[JMSG_LENGTH_MAX + 64];
  JSAMPARRAY cmykRows;
};

JpegState* stateOf(j_common_ptr info) { return static_cast<JpegState*>(info->client_data); }

[[noreturn]] void errorExit(j_common_ptr info) {
  JpegState* state = stateOf(info);
  (*info->err->format_message)(info, state->message);
  state->failureCode = info->err->msg_code;
  std::longjmp(state->errors.recovery, 1);
}

// Warnings (a file cut short among them) are seen by the source itself.
void ignoreMessage(j_common_ptr) {}

// Our own refusals: the reason, then the same way out as the library's errors.
[[noreturn]] __attribute__((format(printf, 3, 4))) void giveUp(j_common_ptr info, int code,
                                                               const char* format, ...) {
  JpegState* state = stateOf(info);
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(state->message, sizeof state->message, format, arguments);
  va_end(arguments);
  state->failureCode = code;
  std::longjmp(state->errors.recovery, 1);
}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

// As the stdio source does: an empty file is an error; a file that runs out later gets
// a warning and a fake end marker, and the picture's remaining rows come out grey.
boolean fillSource(j_decompress_ptr info) {
  FileSource* source = reinterpret_cast<FileSource*>(info->src);
  std::size_t count = std::fread(source->buffer, 1, sizeof source->buffer, source->file);
  if (count == 0) {
    if (source->atStart) ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    source->endedEarly = true;
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    count = 2;
  }
  source->standard.next_input_byte = source->buffer;
  source->standard.bytes_in_buffer = count;
  source->atStart = false;
  return TRUE;
}

void skipSource(j_decompress_ptr info, long count) {
  jpeg_source_mgr* source = info->src;
  if (count <= 0) return;
  while (count > static_cast<long>(source->bytes_in_buffer)) {
    count -= static_cast<long>(source->bytes_in_buffer);
    fillSource(info);
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

// Each progressive scan makes the library go over the whole coefficient buffer again;
// a tiny file can hold thousands of them.
void watchProgress(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* progress = reinterpret_cast<Progress*>(common->progress);
  if (progress->stop != nullptr && progress->stop->load(std::memory_order_relaxed)) {
    giveUp(common, kStopped, "cancelled");
  }
  if (info->progressive_mode && info->input_scan_number > progress->maxScans) {
    giveUp(common, kTooManyScans, "JPEG has more than %d progressive scans", progress->maxScans);
  }
}

inline std::uint8_t scaled(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

// Adobe's writers store CMYK inverted (0 = full ink); files with their marker say so.
void cmykToBgr(const JSAMPLE* cmyk, std::uint8_t* out, JDIMENSION width, bool inverted) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, out += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[2] = scaled(c, k);
    out[1] = scaled(m, k);
    out[0] = scaled(y, k);
  }
}

bool headerStep(JpegState* state, long maxMemory) {
  j_common_ptr common = reinterpret_cast<j_common_ptr>(&state->info);
  if (setjmp(state->errors.recovery)) return false;
  jpeg_create_decompress(&state->info);
  state->info.mem->max_memory_to_use = maxMemory;
  state->info.progress = &state->progress.standard;
  state->info.src = &state->source.standard;
  // Kept in the library's pool, never more bytes than the file holds.
  jpeg_save_markers(&state->info, JPEG_APP0 + 1, 0xFFFF);

  jpeg_read_header(&state->info, TRUE);
  const int components = state->info.num_components;
  if (components != 1 && components != 3 && components != 4) {
    giveUp(common, kUnsupportedComponents, "JPEG with %d colour components: unsupported",
           components);
  }
  return true;
}

bool startStep(JpegState* state, int eighths) {
  j_common_ptr common = reinterpret_cast<j_common_ptr>(&state->info);
  jpeg_decompress_struct& info = state->info;
  if (setjmp(state->errors.recovery)) return false;
  state->cmyk = info.num_components == 4;
  // The library expands grey and orders the bytes itself, straight into our rows. This
  // libjpeg-turbo converts neither CMYK nor YCCK to RGB; it gives CMYK for both.
  info.out_color_space = state->cmyk ? JCS_CMYK : JCS_EXT_BGR;
  info.scale_num = static_cast<unsigned>(eighths);
  info.scale_denom = 8;
  jpeg_start_decompress(&info);
  if (info.output_components != (state->cmyk ? 4 : 3)) {
    giveUp(common, kWrongOutput, "JPEG decodes to %d bytes a pixel", info.output_components);
  }
  if (state->cmyk) {
    state->cmykRows =
        (*info.mem->alloc_sarray)(common, JPOOL_IMAGE, info.output_width * 4, kCmykRows);
  }
  return true;
}

JDIMENSION readStep(JpegState* state, std::uint8_t* const* rows, JDIMENSION count) {
  jpeg_decompress_struct& info = state->info;
  if (setjmp(state->errors.recovery)) return 0;
  JDIMENSION got;
  if (state->cmyk) {
    got = jpeg_read_scanlines(&info, state->cmykRows, std::min(count, kCmykRows));
    for (JDIMENSION i = 0; i < got; ++i) {
      cmykToBgr(state->cmykRows[i], rows[i], info.output_width, info.saw_Adobe_marker != 0);
    }
  } else {
    got = jpeg_read_scanlines(&info, const_cast<JSAMPARRAY>(rows), count);
  }
  // The file source never suspends, so no rows means the library is stuck.
  if (got == 0) {
    giveUp(reinterpret_cast<j_common_ptr>(&info), kDecoderStuck,
           "JPEG decoder stopped at row %u of %u", info.output_scanline, info.output_height);
  }
  return got;
}

bool finishStep(JpegState* state) {
  if (setjmp(state->errors.recovery)) return false;
  jpeg_finish_decompress(&state->info);
  return true;
}

class JpegDecoder final : public PictureDecoder {
 public:
  JpegDecoder() : state_(new JpegState()) {
    JpegState& s = *state_;
    // Both survive jpeg_create_decompress, which clears everything else.
    s.info.err = jpeg_std_error(&s.errors.standard);
    s.info.client_data = &s;
    s.errors.standard.error_exit = errorExit;
    s.errors.standard.output_message = ignoreMessage;
    s.progress.standard.progress_monitor = watchProgress;
    s.source.standard.init_source = initSource;
    s.source.standard.fill_input_buffer = fillSource;
    s.source.standard.skip_input_data = skipSource;
    s.source.standard.resync_to_restart = jpeg_resync_to_restart;
    s.source.standard.term_source = termSource;
    s.source.atStart = true;
    // Destroying an object never created is safe: the library looks for its memory
    // manager first.
    decompress_.reset(&s.info);
  }

  bool open(OwnedFile file, const DecodeLimits& limits, const std::atomic<bool>* stop) override {
    file_ = std::move(file);
    state_->source.file = file_.get();
    state_->progress.maxScans = limits.maxScans;
    state_->progress.stop = stop;
    maxMemory_ = limits.maxLibraryMemory;
    const long maxMemory = static_cast<long>(
        std::min<std::uint64_t>(limits.maxLibraryMemory, std::uint64_t(LONG_MAX)));
    if (!headerStep(state_.get(), maxMemory)) return failed();
    // The first APP1 segment that holds EXIF data; XMP and others come as APP1 too.
    for (jpeg_saved_marker_ptr marker = state_->info.marker_list; marker; marker = marker->next) {
      const std::span<const std::uint8_t> data(marker->data, marker->data_length);
      if (data.size() >= 6 && std::memcmp(data.data(), "Exif\0\0", 6) == 0) {
        orientation_ = exifOrientation(data);
        break;
      }
    }
    return setSize(state_->info.image_width, state_->info.image_height, limits,
                   PictureFormat::Jpeg);
  }

  Shrinking shrinking() const override { return Shrinking::ByEighths; }

  bool start(std::int32_t outputWidth, std::int32_t outputHeight) override {
    if (failure_) return false;
    // The largest scale that gives the size: at full size that is always 8/8, which
    // makes the file byte for byte djpeg's even where a smaller scale gives the same size.
    int eighths = 8;
    while (eighths > 1 && (scaledSize(width_, eighths) != outputWidth ||
                           scaledSize(height_, eighths) != outputHeight)) {
      --eighths;
    }
    if (!startStep(state_.get(), eighths)) return failed();
    outputWidth_ = static_cast<std::int32_t>(state_->info.output_width);
    outputHeight_ = static_cast<std::int32_t>(state_->info.output_height);
    if (outputWidth_ != outputWidth || outputHeight_ != outputHeight) {
      return fail(
          FailureKind::BrokenPicture,
          brokenReason(PictureFormat::Jpeg, "no scale gives " + std::to_string(outputWidth) +
                                                " x " + std::to_string(outputHeight)));
    }
    return true;
  }

  std::int32_t read(std::uint8_t* const* rows, std::int32_t count) override {
    if (failure_ || count <= 0 || state_->info.output_scanline >= state_->info.output_height) {
      return 0;
    }
    const JDIMENSION got = readStep(state_.get(), rows, static_cast<JDIMENSION>(count));
    if (got == 0) failed();
    endedEarly_ = state_->source.endedEarly;
    return static_cast<std::int32_t>(got);
  }

  bool finish() override {
    if (failure_) return false;
    if (!finishStep(state_.get())) return failed();
    endedEarly_ = state_->source.endedEarly;
    return true;
  }

 private:
  // The library's failure in words a user can act on; its own message where nothing
  // better fits.
  bool failed() {
    const JpegState& state = *state_;
    if (state.failureCode == kStopped) return fail(FailureKind::Cancelled, "cancelled");
    if (state.source.endedEarly) {
      return fail(FailureKind::CutShort, cutShortReason(PictureFormat::Jpeg));
    }
    switch (state.failureCode) {
      case JERR_OUT_OF_MEMORY:
        return fail(FailureKind::OutOfMemory, "not enough memory to decode the JPEG picture");
      case JERR_NO_BACKING_STORE:
        return fail(FailureKind::TooLarge, std::to_string(state.info.image_width) + " x " +
                                               std::to_string(state.info.image_height) +
                                               " JPEG needs more than " + formatSize(maxMemory_) +
                                               " to decode");
      case JERR_IMAGE_TOO_BIG:
      case kTooManyScans:
        return fail(FailureKind::TooLarge, state.message);
      case kUnsupportedComponents:
        return fail(FailureKind::BrokenPicture, state.message);
      default:
        return fail(FailureKind::BrokenPicture, brokenReason(PictureFormat::Jpeg, state.message));
    }
  }

  std::unique_ptr<JpegState> state_;
  OwnedFile file_;
  OwnedDecompress decompress_;  // last: destroyed first, while the state is still there
  std::uint64_t maxMemory_ = 0;
};

}  // namespace

std::unique_ptr<PictureDecoder> makeJpegDecoder() { return std::make_unique<JpegDecoder>(); }

}  // namespace tessaren
