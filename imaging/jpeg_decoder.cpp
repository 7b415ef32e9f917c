// JPEG decoding. The library reports errors by calling error_exit, which must not return:
// ours long-jumps back into the step that called the library. Each step is a plain
// function that owns nothing with a destructor, so the jump skips no C++ clean-up; the
// decompression object and the file belong to JpegReader, which releases them on every path.
#include "imaging/jpeg_decoder.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// clang-format off: jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>
// clang-format on

namespace tessaren {

// Our own file source reads this much at a time, a sixteenth of the stdio source's
// system calls, and sees for itself when the file ends before the picture does.
constexpr std::size_t kSourceBufferBytes = 64 * 1024;
constexpr JDIMENSION kCmykRows = 16;

// Our own refusals, beside the library's message codes.
enum : int { kUnsupportedComponents = 10000, kTooManyScans, kDecoderStuck, kWrongOutput };

// The standard manager comes first: the library hands error_exit only the object, and
// the object points at this.
struct JpegErrorManager {
  jpeg_error_mgr standard;
  std::jmp_buf recovery;
};

struct ScanLimit {
  jpeg_progress_mgr standard;
  int maxScans;
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
  ScanLimit scanLimit;
  FileSource source;
  bool echo;
  bool failed;
  bool started;
  bool cmyk;
  bool bgr;
  int failureCode;
  char message[JMSG_LENGTH_MAX + 64];
  JSAMPARRAY cmykRows;
};

namespace {

JpegState* stateOf(j_common_ptr info) { return static_cast<JpegState*>(info->client_data); }

void record(JpegState* state, int code) {
  state->failureCode = code;
  if (state->echo) std::fprintf(stderr, "%s\n", state->message);
}

[[noreturn]] void errorExit(j_common_ptr info) {
  JpegState* state = stateOf(info);
  (*info->err->format_message)(info, state->message);
  record(state, info->err->msg_code);
  std::longjmp(state->errors.recovery, 1);
}

// Warnings: djpeg prints them, we only pass them on when asked to.
void outputMessage(j_common_ptr info) {
  if (!stateOf(info)->echo) return;
  char text[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, text);
  std::fprintf(stderr, "%s\n", text);
}

// Our own refusals: the reason, then the same way out as the library's errors.
[[noreturn]] __attribute__((format(printf, 3, 4))) void giveUp(j_common_ptr info, int code,
                                                               const char* format, ...) {
  JpegState* state = stateOf(info);
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(state->message, sizeof state->message, format, arguments);
  va_end(arguments);
  record(state, code);
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
void limitScans(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* limit = reinterpret_cast<ScanLimit*>(common->progress);
  if (info->progressive_mode && info->input_scan_number > limit->maxScans) {
    giveUp(common, kTooManyScans, "JPEG has more than %d progressive scans", limit->maxScans);
  }
}

inline std::uint8_t scaled(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

// Adobe's writers store CMYK inverted (0 = full ink); files with their marker say so.
void cmykToThree(const JSAMPLE* cmyk, std::uint8_t* out, JDIMENSION width, bool inverted,
                 bool bgr) {
  const int red = bgr ? 2 : 0;
  const int blue = 2 - red;
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, out += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[red] = scaled(c, k);
    out[1] = scaled(m, k);
    out[blue] = scaled(y, k);
  }
}

bool headerStep(JpegState* state, long maxMemory) {
  j_common_ptr common = reinterpret_cast<j_common_ptr>(&state->info);
  if (setjmp(state->errors.recovery)) return false;
  jpeg_create_decompress(&state->info);
  state->info.mem->max_memory_to_use = maxMemory;
  state->info.progress = &state->scanLimit.standard;
  state->info.src = &state->source.standard;

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
  info.out_color_space = state->cmyk ? JCS_CMYK : state->bgr ? JCS_EXT_BGR : JCS_EXT_RGB;
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
      cmykToThree(state->cmykRows[i], rows[i], info.output_width, info.saw_Adobe_marker != 0,
                  state->bgr);
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

// In words a user can act on; the library's own message where nothing better fits.
std::string reasonFor(const JpegState& state) {
  if (state.failureCode == JERR_NO_SOI || state.failureCode == JERR_INPUT_EMPTY) {
    return "not a JPEG picture";
  }
  if (state.source.endedEarly) return "JPEG cut short";
  switch (state.failureCode) {
    case JERR_OUT_OF_MEMORY:
      return "not enough memory to decode the JPEG picture";
    case kUnsupportedComponents:
    case kTooManyScans:
      return state.message;
    default:
      return std::string("broken JPEG picture (") + state.message + ")";
  }
}

}  // namespace

JpegReader::JpegReader() : state_(new JpegState()) {
  JpegState& s = *state_;
  // Both survive jpeg_create_decompress, which clears everything else.
  s.info.err = jpeg_std_error(&s.errors.standard);
  s.info.client_data = &s;
  s.errors.standard.error_exit = errorExit;
  s.errors.standard.output_message = outputMessage;
  s.scanLimit.standard.progress_monitor = limitScans;
  s.source.standard.init_source = initSource;
  s.source.standard.fill_input_buffer = fillSource;
  s.source.standard.skip_input_data = skipSource;
  s.source.standard.resync_to_restart = jpeg_resync_to_restart;
  s.source.standard.term_source = termSource;
  s.source.atStart = true;
}

JpegReader::~JpegReader() {
  // Safe on an object never created: the library checks for its memory manager.
  jpeg_destroy_decompress(&state_->info);
  if (state_->source.file != nullptr) std::fclose(state_->source.file);
}

void JpegReader::echoMessages(bool echo) { state_->echo = echo; }

bool JpegReader::failed(const std::string& reason) {
  state_->failed = true;
  reason_ = reason;
  return false;
}

bool JpegReader::open(const std::string& jpegPath, const DecodeLimits& limits) {
  if (state_->failed || state_->source.file != nullptr) return failed("JPEG reader misused");
  path_ = jpegPath;
  state_->source.file = std::fopen(jpegPath.c_str(), "rb");
  if (state_->source.file == nullptr) {
    const int error = errno;
    if (state_->echo) std::fprintf(stderr, "can't open %s\n", jpegPath.c_str());
    return failed("can't read " + jpegPath + ": " + std::strerror(error));
  }
  state_->scanLimit.maxScans = limits.maxScans;
  if (!headerStep(state_.get(), limits.maxLibraryMemory)) return failed(reasonFor(*state_));
  return true;
}

std::int32_t JpegReader::width() const {
  return static_cast<std::int32_t>(state_->info.image_width);
}
std::int32_t JpegReader::height() const {
  return static_cast<std::int32_t>(state_->info.image_height);
}
std::int32_t JpegReader::outputWidth() const {
  return static_cast<std::int32_t>(state_->info.output_width);
}
std::int32_t JpegReader::outputHeight() const {
  return static_cast<std::int32_t>(state_->info.output_height);
}
std::int32_t JpegReader::nextRow() const {
  return static_cast<std::int32_t>(state_->info.output_scanline);
}
bool JpegReader::endedEarly() const { return state_->source.endedEarly; }

bool JpegReader::start(int eighths, bool bgr) {
  if (state_->failed || state_->source.file == nullptr || state_->started) {
    return failed("JPEG reader misused");
  }
  state_->bgr = bgr;
  state_->started = true;
  if (!startStep(state_.get(), std::clamp(eighths, 1, 8))) return failed(reasonFor(*state_));
  return true;
}

std::int32_t JpegReader::read(std::uint8_t* const* rows, std::int32_t count) {
  if (state_->failed || !state_->started || count <= 0 || nextRow() >= outputHeight()) {
    failed(reason_.empty() ? "JPEG reader misused" : reason_);
    return 0;
  }
  const JDIMENSION got = readStep(state_.get(), rows, static_cast<JDIMENSION>(count));
  if (got == 0) failed(reasonFor(*state_));
  return static_cast<std::int32_t>(got);
}

bool JpegReader::finish() {
  if (state_->failed || !state_->started) return failed(reason_);
  if (!finishStep(state_.get())) return failed(reasonFor(*state_));
  return true;
}

std::optional<DecodedJpeg> decodeJpegFile(const std::string& jpegPath, const DecodeLimits& limits) {
  JpegReader reader;
  reader.echoMessages(true);
  if (!reader.open(jpegPath, limits)) return std::nullopt;

  const std::int32_t width = reader.width(), height = reader.height();
  const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * 3;
  if (bytes > limits.maxPixelBytes) {
    std::fprintf(stderr, "JPEG of %d x %d pixels is too large to convert\n", width, height);
    return std::nullopt;
  }
  DecodedJpeg result;
  result.buffer.pixels.reset(static_cast<std::uint8_t*>(std::malloc(bytes)));
  if (!result.buffer.pixels) {
    std::fprintf(stderr, "Out of memory for a JPEG of %d x %d pixels\n", width, height);
    return std::nullopt;
  }
  result.buffer.width = width;
  result.buffer.height = height;

  if (!reader.start(8, false)) return std::nullopt;
  if (reader.outputWidth() != width || reader.outputHeight() != height) {
    std::fprintf(stderr, "JPEG decodes to %d x %d pixels, not the size its header gives\n",
                 reader.outputWidth(), reader.outputHeight());
    return std::nullopt;
  }
  const std::size_t stride = std::size_t(width) * 3;
  while (reader.nextRow() < height) {
    std::uint8_t* rows[16];
    const std::int32_t wanted = std::min(16, height - reader.nextRow());
    for (std::int32_t i = 0; i < wanted; ++i) {
      rows[i] = result.buffer.pixels.get() + std::size_t(reader.nextRow() + i) * stride;
    }
    if (reader.read(rows, wanted) == 0) return std::nullopt;
  }
  if (!reader.finish()) return std::nullopt;
  result.endedEarly = reader.endedEarly();
  return result;
}

void reverseRows(std::uint8_t* pixels, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height < 2) return;
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  for (std::int32_t i = 0; i < height / 2; ++i) {
    std::uint8_t* top = pixels + static_cast<std::size_t>(i) * stride;
    std::uint8_t* bottom = pixels + static_cast<std::size_t>(height - 1 - i) * stride;
    std::swap_ranges(top, top + stride, bottom);
  }
}

void swapRedBlue(std::uint8_t* pixels, std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  for (std::size_t p = 0; p < count; p += 3) std::swap(pixels[p], pixels[p + 2]);
}

}  // namespace tessaren
