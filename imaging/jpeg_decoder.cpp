// JPEG decoding. The library reports errors by calling error_exit, which must not return:
// ours long-jumps back into decodeInto, a plain function that owns nothing with a
// destructor, so the jump skips no C++ clean-up. The file and the pixel block belong to
// the caller, which releases them on every path.
#include "imaging/jpeg_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// clang-format off: jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>
// clang-format on

namespace tessaren {
namespace {

enum class Layout { TopDownRgb, BottomUpBgr };

// The standard manager comes first: the library hands error_exit only the object, and
// the object points at this.
struct JpegErrorManager {
  jpeg_error_mgr standard;
  std::jmp_buf recovery;
  // The stdio source's own refill, which ours wraps to notice the end of the file.
  boolean (*stdioFill)(j_decompress_ptr);
  bool endedEarly;
};

struct ScanLimit {
  jpeg_progress_mgr standard;
  int maxScans;
};

// Everything a decode needs and gives back, in plain fields: it crosses the set-jump.
struct DecodeJob {
  const char* path;
  std::FILE* file;
  Layout layout;
  const DecodeLimits* limits;
  std::uint8_t* pixels;  // malloc'd by decodeInto, released by the caller
  std::uint32_t width;
  std::uint32_t height;
  bool endedEarly;
};

JpegErrorManager* errorsOf(j_decompress_ptr info) {
  return reinterpret_cast<JpegErrorManager*>(info->err);
}

// Our own refusals: the reason on the standard error stream, then the same way out as
// the library's errors.
[[noreturn]] __attribute__((format(printf, 2, 3))) void giveUp(j_common_ptr info,
                                                               const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->recovery, 1);
}

// The stdio source warns "Premature end of JPEG file" and feeds a fake end marker when
// the file runs out; only that warning tells a cut-short file from a complete one.
boolean fillNoticingEnd(j_decompress_ptr info) {
  JpegErrorManager* errors = errorsOf(info);
  boolean result = errors->stdioFill(info);
  if (info->err->msg_code == JWRN_JPEG_EOF) errors->endedEarly = true;
  return result;
}

// Each progressive scan makes the library go over the whole coefficient buffer again;
// a tiny file can hold thousands of them.
void limitScans(j_common_ptr common) {
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  auto* limit = reinterpret_cast<ScanLimit*>(common->progress);
  if (info->progressive_mode && info->input_scan_number > limit->maxScans) {
    giveUp(common, "JPEG has more than %d progressive scans\n", limit->maxScans);
  }
}

inline std::uint8_t scaled(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

// Adobe's writers store CMYK inverted (0 = full ink); files with their marker say so.
void cmykToThree(const JSAMPLE* cmyk, std::uint8_t* out, JDIMENSION width, bool inverted,
                 Layout layout) {
  const int red = layout == Layout::TopDownRgb ? 0 : 2;
  const int blue = 2 - red;
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, out += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    out[red] = scaled(c, k);
    out[1] = scaled(m, k);
    out[blue] = scaled(y, k);
  }
}

// True with job.pixels filled in; false after the reason went to the standard error
// stream. The object is destroyed on every path.
bool decodeInto(DecodeJob& job) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  ScanLimit scanLimit;

  info.err = jpeg_std_error(&errors.standard);
  errors.standard.error_exit = jpegErrorExit;
  errors.endedEarly = false;
  if (setjmp(errors.recovery)) {
    jpeg_destroy_decompress(&info);
    return false;
  }

  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = job.limits->maxLibraryMemory;
  scanLimit.standard.progress_monitor = limitScans;
  scanLimit.maxScans = job.limits->maxScans;
  info.progress = &scanLimit.standard;

  jpeg_stdio_src(&info, job.file);
  errors.stdioFill = info.src->fill_input_buffer;
  info.src->fill_input_buffer = fillNoticingEnd;

  jpeg_read_header(&info, TRUE);

  const bool cmyk = info.num_components == 4;
  if (info.num_components == 1 || info.num_components == 3) {
    // The library expands grey and reorders the bytes itself, straight into our rows.
    info.out_color_space = job.layout == Layout::TopDownRgb ? JCS_EXT_RGB : JCS_EXT_BGR;
  } else if (cmyk) {
    // This libjpeg-turbo converts neither CMYK nor YCCK to RGB; it gives CMYK for both.
    info.out_color_space = JCS_CMYK;
  } else {
    giveUp(reinterpret_cast<j_common_ptr>(&info), "JPEG with %d colour components: unsupported\n",
           info.num_components);
  }

  const std::uint64_t bytes = std::uint64_t{info.image_width} * info.image_height * 3;
  if (bytes > job.limits->maxPixelBytes) {
    giveUp(reinterpret_cast<j_common_ptr>(&info),
           "JPEG of %u x %u pixels is too large to convert\n", info.image_width, info.image_height);
  }
  job.pixels = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(bytes)));
  if (job.pixels == nullptr) {
    giveUp(reinterpret_cast<j_common_ptr>(&info), "Out of memory for a JPEG of %u x %u pixels\n",
           info.image_width, info.image_height);
  }
  job.width = info.image_width;
  job.height = info.image_height;

  jpeg_start_decompress(&info);
  if (info.output_width != job.width || info.output_height != job.height ||
      info.output_components != (cmyk ? 4 : 3)) {
    giveUp(reinterpret_cast<j_common_ptr>(&info),
           "JPEG decodes to %u x %u pixels, not the size its header gives\n", info.output_width,
           info.output_height);
  }

  const std::size_t stride = std::size_t{job.width} * 3;
  auto rowAt = [&](JDIMENSION row) {
    JDIMENSION index = job.layout == Layout::TopDownRgb ? row : job.height - 1 - row;
    return job.pixels + index * stride;
  };
  constexpr JDIMENSION kRowsPerRead = 16;
  JSAMPARRAY cmykRows = nullptr;
  if (cmyk) {
    cmykRows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                         info.output_width * 4, kRowsPerRead);
  }
  while (info.output_scanline < info.output_height) {
    const JDIMENSION first = info.output_scanline;
    const JDIMENSION wanted = std::min(kRowsPerRead, info.output_height - first);
    JDIMENSION got = 0;
    if (cmyk) {
      got = jpeg_read_scanlines(&info, cmykRows, wanted);
      for (JDIMENSION i = 0; i < got; ++i) {
        cmykToThree(cmykRows[i], rowAt(first + i), info.output_width, info.saw_Adobe_marker != 0,
                    job.layout);
      }
    } else {
      JSAMPROW rows[kRowsPerRead];
      for (JDIMENSION i = 0; i < wanted; ++i) rows[i] = rowAt(first + i);
      got = jpeg_read_scanlines(&info, rows, wanted);
    }
    // The stdio source never suspends, so no rows means the library is stuck.
    if (got == 0) {
      giveUp(reinterpret_cast<j_common_ptr>(&info), "JPEG decoder stopped at row %u of %u\n", first,
             info.output_height);
    }
  }

  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  job.endedEarly = errors.endedEarly;
  return true;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::optional<DecodedJpeg> decode(const std::string& jpegPath, Layout layout,
                                  const DecodeLimits& limits) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(jpegPath.c_str(), "rb"));
  if (!file) {
    std::fprintf(stderr, "can't open %s\n", jpegPath.c_str());
    return std::nullopt;
  }
  DecodeJob job{jpegPath.c_str(), file.get(), layout, &limits, nullptr, 0, 0, false};
  const bool decoded = decodeInto(job);
  std::unique_ptr<std::uint8_t[], FreeDeleter> pixels(job.pixels);
  if (!decoded) return std::nullopt;

  DecodedJpeg result;
  result.buffer.pixels = std::move(pixels);
  result.buffer.width = static_cast<std::int32_t>(job.width);
  result.buffer.height = static_cast<std::int32_t>(job.height);
  result.endedEarly = job.endedEarly;
  return result;
}

}  // namespace

void jpegErrorExit(j_common_ptr info) {
  (*info->err->output_message)(info);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->recovery, 1);
}

std::optional<DecodedJpeg> decodeJpegFile(const std::string& jpegPath, const DecodeLimits& limits) {
  return decode(jpegPath, Layout::TopDownRgb, limits);
}

std::optional<DecodedJpeg> decodeJpegFileForBitmap(const std::string& jpegPath,
                                                   const DecodeLimits& limits) {
  return decode(jpegPath, Layout::BottomUpBgr, limits);
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
