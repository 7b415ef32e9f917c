// Test pictures made in memory. Encoders are given well-formed input, so their own error
// handling (libjpeg's default exit, among others) is acceptable here; anything that would
// be a fault in the maker itself throws.
#include "tests/support/test_pictures.h"

// jpeglib.h needs FILE and size_t declared first.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <gif_lib.h>
#include <spng.h>
#include <webp/decode.h>
#include <webp/encode.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace tessaren::test {
namespace {

void putBigEndian(Bytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}
void putLittleEndian(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(value >> (8 * i)));
}
void putText(Bytes& out, const char* text) {
  out.insert(out.end(), text, text + std::strlen(text));
}

// Bits into bytes, least significant first, as deflate packs them.
class DeflateBits {
 public:
  void put(std::uint32_t bits, int count) {
    for (int i = 0; i < count; ++i) {
      if (used_ == 0) bytes_.push_back(0);
      bytes_.back() |= std::uint8_t(((bits >> i) & 1) << used_);
      used_ = (used_ + 1) % 8;
    }
  }
  // Huffman codes go most significant bit first.
  void putCode(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) put((code >> i) & 1, 1);
  }
  void putZeros(std::uint64_t count) {
    for (; count > 0 && used_ != 0; --count) put(0, 1);
    bytes_.insert(bytes_.end(), count / 8, 0);
    for (count %= 8; count > 0; --count) put(0, 1);
  }
  Bytes& bytes() { return bytes_; }

 private:
  Bytes bytes_;
  int used_ = 0;
};

// GIF's LZW codes of `pixels` copies of one index, packed as deflate packs its bits. The
// nth code after the first stands for a run of n, the entry the decoder is defining as it
// reads the code, until the table is full; its longest run is then repeated, about 2,700
// pixels a byte. Code widths grow as giflib's decoder widens them.
Bytes flatLzw(std::uint64_t pixels, int index, int codeSize) {
  const int clear = 1 << codeSize;
  DeflateBits bits;
  int next = clear + 2, width = codeSize + 1;  // the decoder's state after a clear code
  auto put = [&](int code) {
    bits.put(std::uint32_t(code), width);
    if (next < 4097 && ++next > (1 << width) && width < 12) ++width;
  };
  put(clear);
  next = clear + 2, width = codeSize + 1;
  const std::uint64_t longest = std::uint64_t(4095 - clear);
  for (std::uint64_t run = 1, left = pixels; left > 0; ++run) {
    const std::uint64_t length = std::min({run, longest, left});
    put(length == 1 ? index : clear + int(length));
    left -= length;
  }
  put(clear + 1);  // the end
  return std::move(bits.bytes());
}

}  // namespace

Bytes patternPixels(int width, int height, int components) {
  Bytes pixels;
  pixels.reserve(static_cast<std::size_t>(width) * height * components);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        // Gradients per channel plus a checker of fine detail.
        int value = (x * 255 / (width > 1 ? width - 1 : 1) * (c + 1) +
                     y * 255 / (height > 1 ? height - 1 : 1) * (3 - c % 3)) /
                    4;
        value += ((x / 3 + y / 3) % 2) * 40 - 20 + c * 13;
        pixels.push_back(static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value));
      }
    }
  }
  return pixels;
}

Bytes flatPixels(int width, int height, const Bytes& colour) {
  Bytes pixels;
  pixels.reserve(std::size_t(width) * height * colour.size());
  for (long i = 0; i < long(width) * height; ++i) {
    pixels.insert(pixels.end(), colour.begin(), colour.end());
  }
  return pixels;
}

Bytes weatherPixels(int width, int height) {
  Bytes pixels(std::size_t(width) * height * 3);
  std::uint32_t noise = 12345;
  std::uint8_t* p = pixels.data();
  for (int y = 0; y < height; ++y) {
    const double v = static_cast<double>(y) / height;
    for (int x = 0; x < width; ++x, p += 3) {
      const double u = static_cast<double>(x) / width;
      // Pressure systems: a few broad bumps.
      const double field = std::sin(u * 7.1 + std::cos(v * 3.3)) * 0.5 +
                           std::cos(v * 5.7 - u * 2.1) * 0.35 + std::sin((u + v) * 11.0) * 0.15;
      const double coast = 0.55 + 0.08 * std::sin(v * 23.0) + 0.04 * std::sin(v * 71.0);
      double r, g, b;
      if (u > coast) {  // land: temperature ramp
        const double t = 0.5 + 0.5 * field;
        r = 255 * t;
        g = 200 * (1 - std::fabs(t - 0.5) * 1.6);
        b = 255 * (1 - t);
      } else {  // sea
        r = 20 + 30 * field;
        g = 60 + 40 * field;
        b = 160 + 60 * field;
      }
      // Isobars every 0.1 of the field, a degree grid, and a little noise.
      if (std::fabs(std::fmod(field + 2.0, 0.1) - 0.05) > 0.046) r = g = b = 40;
      if (x % (width / 16 + 1) == 0 || y % (height / 9 + 1) == 0) r = g = b = 230;
      noise = noise * 1664525u + 1013904223u;
      const double jitter = static_cast<double>(noise >> 28) - 7.5;
      p[0] = static_cast<std::uint8_t>(std::fmin(255, std::fmax(0, r + jitter)));
      p[1] = static_cast<std::uint8_t>(std::fmin(255, std::fmax(0, g + jitter)));
      p[2] = static_cast<std::uint8_t>(std::fmin(255, std::fmax(0, b + jitter)));
    }
  }
  return pixels;
}

Bytes encodeJpeg(const JpegRecipe& recipe, const Bytes& pixels) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&info, &out, &outSize);

  info.image_width = static_cast<JDIMENSION>(recipe.width);
  info.image_height = static_cast<JDIMENSION>(recipe.height);
  info.input_components = recipe.components;
  info.in_color_space = recipe.components == 1   ? JCS_GRAYSCALE
                        : recipe.components == 3 ? JCS_RGB
                        : recipe.components == 4 ? JCS_CMYK
                                                 : JCS_UNKNOWN;
  jpeg_set_defaults(&info);
  if (recipe.components == 4 && recipe.ycck) jpeg_set_colorspace(&info, JCS_YCCK);
  if (recipe.components == 4) info.write_Adobe_marker = recipe.adobeMarker ? TRUE : FALSE;
  jpeg_set_quality(&info, recipe.quality, TRUE);
  if (!recipe.subsampled) {
    for (int c = 0; c < info.num_components; ++c) {
      info.comp_info[c].h_samp_factor = 1;
      info.comp_info[c].v_samp_factor = 1;
    }
  }
  if (recipe.progressive) jpeg_simple_progression(&info);

  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = static_cast<std::size_t>(recipe.width) * recipe.components;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(pixels.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes result(out, out + outSize);
  std::free(out);
  return result;
}

Bytes withFrameSize(Bytes jpeg, std::uint16_t width, std::uint16_t height) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC1 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(height);
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(width);
      return jpeg;
    }
  }
  throw std::runtime_error("no frame header");
}

Bytes withRepeatedLastScan(const Bytes& jpeg, int times) {
  // Entropy-coded data escapes 0xFF, so the last FF DA is the last scan header.
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) start = i;
  }
  const std::size_t end = jpeg.size() - 2;  // the end marker
  Bytes result(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(end));
  for (int i = 0; i < times; ++i) {
    result.insert(result.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(start),
                  jpeg.begin() + static_cast<std::ptrdiff_t>(end));
  }
  result.insert(result.end(), {0xFF, 0xD9});
  return result;
}

Bytes paddedTo(Bytes jpeg, std::size_t bytes) {
  if (bytes == jpeg.size()) return jpeg;
  // A comment segment is at least 4 bytes (marker and length) and at most 65537.
  if (bytes < jpeg.size() + 4) throw std::runtime_error("too small to pad the JPEG to");
  Bytes padding;
  for (std::size_t missing = bytes - jpeg.size(); missing > 0;) {
    std::size_t segment = std::min<std::size_t>(missing, 65537);
    if (missing - segment > 0 && missing - segment < 4) segment -= 4;  // room for one more
    const std::size_t length = segment - 2;
    padding.insert(padding.end(), {0xFF, 0xFE, std::uint8_t(length >> 8), std::uint8_t(length)});
    padding.insert(padding.end(), length - 2, 'c');
    missing -= segment;
  }
  jpeg.insert(jpeg.begin() + 2, padding.begin(), padding.end());  // right after the start marker
  return jpeg;
}

Bytes flatGreyJpeg(int width, int height) {
  const std::uint64_t blocks = std::uint64_t((width + 7) / 8) * std::uint64_t((height + 7) / 8);
  Bytes jpeg;
  jpeg.reserve(200 + blocks / 4);
  jpeg.insert(jpeg.end(), {0xFF, 0xD8});
  // One quantisation table of ones.
  jpeg.insert(jpeg.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
  jpeg.insert(jpeg.end(), 64, 1);
  // Baseline frame: one component, no subsampling, table 0.
  jpeg.insert(jpeg.end(),
              {0xFF, 0xC0, 0x00, 0x0B, 0x08, std::uint8_t(height >> 8), std::uint8_t(height),
               std::uint8_t(width >> 8), std::uint8_t(width), 0x01, 0x01, 0x11, 0x00});
  // A DC table and an AC table of one one-bit code each: "difference 0" and "end of block".
  for (std::uint8_t tableClass : {0x00, 0x10}) {
    jpeg.insert(jpeg.end(), {0xFF, 0xC4, 0x00, 0x14, tableClass, 0x01});
    jpeg.insert(jpeg.end(), 15, 0);
    jpeg.push_back(0x00);
  }
  jpeg.insert(jpeg.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  // Two zero bits a block: DC unchanged from 0 (mid-grey), then end of block. The last
  // byte is filled up with ones, as the format wants.
  jpeg.insert(jpeg.end(), blocks / 4, 0x00);
  if (blocks % 4 != 0) jpeg.push_back(std::uint8_t(0xFF >> (2 * (blocks % 4))));
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

std::size_t pngRowBytes(const PngRecipe& recipe) {
  const int channels = recipe.colourType == 2   ? 3
                       : recipe.colourType == 4 ? 2
                       : recipe.colourType == 6 ? 4
                                                : 1;
  return (std::size_t(recipe.width) * channels * recipe.bitDepth + 7) / 8;
}

Bytes encodePng(const PngRecipe& recipe, const Bytes& samples) {
  spng_ctx* context = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
  spng_set_option(context, SPNG_IMG_COMPRESSION_LEVEL, recipe.compressionLevel);
  spng_ihdr header{};
  header.width = std::uint32_t(recipe.width);
  header.height = std::uint32_t(recipe.height);
  header.bit_depth = std::uint8_t(recipe.bitDepth);
  header.color_type = std::uint8_t(recipe.colourType);
  header.interlace_method = recipe.interlaced ? SPNG_INTERLACE_ADAM7 : SPNG_INTERLACE_NONE;
  int error = spng_set_ihdr(context, &header);
  if (!recipe.palette.empty()) {
    spng_plte palette{};
    palette.n_entries = std::uint32_t(recipe.palette.size() / 3);
    for (std::uint32_t i = 0; i < palette.n_entries; ++i) {
      palette.entries[i] = {recipe.palette[3 * i], recipe.palette[3 * i + 1],
                            recipe.palette[3 * i + 2], 255};
    }
    error = error ? error : spng_set_plte(context, &palette);
  }
  if (recipe.transparency) {
    const Bytes& t = *recipe.transparency;
    spng_trns transparency{};
    auto sample = [&](std::size_t at) { return std::uint16_t(t.at(at) << 8 | t.at(at + 1)); };
    if (recipe.colourType == 0) {
      transparency.gray = sample(0);
    } else if (recipe.colourType == 2) {
      transparency.red = sample(0), transparency.green = sample(2), transparency.blue = sample(4);
    } else {
      transparency.n_type3_entries = std::uint32_t(t.size());
      std::copy(t.begin(), t.end(), transparency.type3_alpha);
    }
    error = error ? error : spng_set_trns(context, &transparency);
  }
  error = error ? error
                : spng_encode_image(context, samples.data(), samples.size(), SPNG_FMT_RAW,
                                    SPNG_ENCODE_FINALIZE);
  std::size_t size = 0;
  void* encoded = error ? nullptr : spng_get_png_buffer(context, &size, &error);
  spng_ctx_free(context);
  if (encoded == nullptr) throw std::runtime_error(std::string("PNG: ") + spng_strerror(error));
  Bytes png(static_cast<std::uint8_t*>(encoded), static_cast<std::uint8_t*>(encoded) + size);
  std::free(encoded);
  return png;
}

Bytes pngChunk(const std::string& type, const Bytes& data) {
  Bytes chunk;
  putBigEndian(chunk, std::uint32_t(data.size()));
  putText(chunk, type.c_str());
  chunk.insert(chunk.end(), data.begin(), data.end());
  const std::uint32_t crc =
      std::uint32_t(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
  putBigEndian(chunk, crc);
  return chunk;
}

Bytes withChunkBeforeData(const Bytes& png, const Bytes& chunk) {
  for (std::size_t at = 8; at + 8 <= png.size();) {
    const std::size_t length = std::size_t(png[at]) << 24 | std::size_t(png[at + 1]) << 16 |
                               std::size_t(png[at + 2]) << 8 | png[at + 3];
    if (std::memcmp(png.data() + at + 4, "IDAT", 4) == 0) {
      Bytes result(png.begin(), png.begin() + std::ptrdiff_t(at));
      result.insert(result.end(), chunk.begin(), chunk.end());
      result.insert(result.end(), png.begin() + std::ptrdiff_t(at), png.end());
      return result;
    }
    at += 12 + length;
  }
  throw std::runtime_error("no IDAT chunk");
}

Bytes zeroPng(int width, int height) {
  const std::uint64_t inflated = (1 + std::uint64_t(width) * 4) * std::uint64_t(height);
  // zlib header, then one final block with codes of its own: copies of 258 bytes from one
  // back get one bit for the length (285) and one for the distance (code 0), the most
  // deflate allows; literal 0 and the end of the block get two bits each.
  DeflateBits bits;
  bits.bytes() = {0x78, 0x01};
  bits.put(1, 1);   // final block
  bits.put(2, 2);   // codes of its own
  bits.put(29, 5);  // 286 literal and length codes
  bits.put(0, 5);   // 1 distance code
  bits.put(14, 4);  // 18 code length codes, in the format's order:
  for (int length : {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2}) bits.put(length, 3);
  // Which give 18 (a run of zeros) the code 0, length 1 the code 10 and length 2 the code 11.
  auto zeros = [&](int count) {
    bits.putCode(0, 1);
    bits.put(std::uint32_t(count - 11), 7);
  };
  bits.putCode(3, 2);  // literal 0: length 2
  zeros(138), zeros(117);
  bits.putCode(3, 2);  // end of block: length 2
  zeros(28);
  bits.putCode(2, 2);  // 285: length 1
  bits.putCode(2, 2);  // distance code 0: length 1
  // Canonically: 285 is 0, literal 0 is 10, end of block 11; distance 0 is 0.
  bits.putCode(2, 2);
  const std::uint64_t copies = (inflated - 1) / 258;
  bits.putZeros(2 * copies);
  for (std::uint64_t left = inflated - 1 - copies * 258; left > 0; --left) bits.putCode(2, 2);
  bits.putCode(3, 2);
  Bytes stream = std::move(bits.bytes());
  // Adler-32 of n zero bytes: the sum stays 1, the sum of sums is n.
  putBigEndian(stream, std::uint32_t((inflated % 65521) << 16 | 1));

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  putBigEndian(header, std::uint32_t(width));
  putBigEndian(header, std::uint32_t(height));
  header.insert(header.end(), {8, 6, 0, 0, 0});
  for (const Bytes& chunk :
       {pngChunk("IHDR", header), pngChunk("IDAT", stream), pngChunk("IEND", {})}) {
    png.insert(png.end(), chunk.begin(), chunk.end());
  }
  return png;
}

void writeLargePng(const std::string& path, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  spng_ctx* context = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(context, SPNG_IMG_COMPRESSION_LEVEL, 1);
  spng_ihdr header{};
  header.width = std::uint32_t(width);
  header.height = std::uint32_t(height);
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  int error = file == nullptr ? SPNG_EIO : spng_set_png_file(context, file);
  error = error ? error : spng_set_ihdr(context, &header);
  error = error ? error
                : spng_encode_image(context, nullptr, 0, SPNG_FMT_PNG,
                                    SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  Bytes row(std::size_t(width) * 3);
  for (int y = 0; y < height && !error; ++y) {
    for (int x = 0; x < width; ++x) {
      row[3 * std::size_t(x)] = std::uint8_t(x * 255 / width);
      row[3 * std::size_t(x) + 1] = std::uint8_t(y * 255 / height);
      row[3 * std::size_t(x) + 2] = std::uint8_t((x ^ y) & 0x3F);
    }
    error = spng_encode_row(context, row.data(), row.size());
  }
  if (error == SPNG_EOI) error = 0;  // the last row
  spng_ctx_free(context);
  if (file != nullptr) std::fclose(file);
  if (error) throw std::runtime_error(std::string("PNG: ") + spng_strerror(error));
}

Bytes encodeWebP(const WebPRecipe& recipe, const Bytes& pixels) {
  std::uint8_t* encoded = nullptr;
  const int stride = recipe.width * (recipe.alpha ? 4 : 3);
  std::size_t size = 0;
  if (recipe.lossless) {
    size =
        recipe.alpha
            ? WebPEncodeLosslessRGBA(pixels.data(), recipe.width, recipe.height, stride, &encoded)
            : WebPEncodeLosslessRGB(pixels.data(), recipe.width, recipe.height, stride, &encoded);
  } else {
    size = recipe.alpha ? WebPEncodeRGBA(pixels.data(), recipe.width, recipe.height, stride,
                                         recipe.quality, &encoded)
                        : WebPEncodeRGB(pixels.data(), recipe.width, recipe.height, stride,
                                        recipe.quality, &encoded);
  }
  if (size == 0) throw std::runtime_error("WebP encoding failed");
  Bytes webp(encoded, encoded + size);
  WebPFree(encoded);
  return webp;
}

Bytes animatedWebP(int width, int height, const std::vector<WebPFrame>& frames) {
  auto chunk = [](Bytes& out, const char* type, const Bytes& data) {
    putText(out, type);
    putLittleEndian(out, std::uint32_t(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2 != 0) out.push_back(0);
  };
  Bytes body;
  putText(body, "WEBP");
  Bytes extended;
  bool alpha = false;
  for (const WebPFrame& frame : frames) alpha |= frame.recipe.alpha;
  putLittleEndian(extended, 0x02 | (alpha ? 0x10 : 0), 4);  // animation, alpha
  putLittleEndian(extended, std::uint32_t(width - 1), 3);
  putLittleEndian(extended, std::uint32_t(height - 1), 3);
  chunk(body, "VP8X", extended);
  Bytes animation;
  putLittleEndian(animation, 0, 4);  // background colour: transparent black
  putLittleEndian(animation, 0, 2);  // loop for ever
  chunk(body, "ANIM", animation);
  for (const WebPFrame& frame : frames) {
    const Bytes still = encodeWebP(frame.recipe, frame.pixels);
    Bytes data;
    putLittleEndian(data, std::uint32_t(frame.left / 2), 3);
    putLittleEndian(data, std::uint32_t(frame.top / 2), 3);
    putLittleEndian(data, std::uint32_t(frame.recipe.width - 1), 3);
    putLittleEndian(data, std::uint32_t(frame.recipe.height - 1), 3);
    putLittleEndian(data, 100, 3);  // milliseconds
    data.push_back(std::uint8_t((frame.blend ? 0 : 2) | (frame.disposeToBackground ? 1 : 0)));
    // The still's chunks after the RIFF header, without its VP8X.
    std::size_t at = 12;
    if (std::memcmp(still.data() + at, "VP8X", 4) == 0) at += 8 + 10;
    data.insert(data.end(), still.begin() + std::ptrdiff_t(at), still.end());
    chunk(body, "ANMF", data);
  }
  Bytes webp;
  putText(webp, "RIFF");
  putLittleEndian(webp, std::uint32_t(body.size()), 4);
  webp.insert(webp.end(), body.begin(), body.end());
  return webp;
}

Bytes encodeGif(int width, int height, const Bytes& globalPalette,
                const std::vector<GifFrame>& frames) {
  Bytes gif;
  auto write = [](GifFileType* file, const GifByteType* data, int length) {
    Bytes* out = static_cast<Bytes*>(file->UserData);
    out->insert(out->end(), data, data + length);
    return length;
  };
  int error = 0;
  GifFileType* file = EGifOpen(&gif, write, &error);
  // A colour table of a power of two entries, the rest black.
  auto colourMap = [](const Bytes& palette) -> ColorMapObject* {
    if (palette.empty()) return nullptr;
    int entries = 2;
    while (entries * 3 < int(palette.size())) entries *= 2;
    std::vector<GifColorType> colours(std::size_t(entries), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < palette.size() / 3; ++i) {
      colours[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
    }
    return GifMakeMapObject(entries, colours.data());
  };
  ColorMapObject* global = colourMap(globalPalette);
  EGifSetGifVersion(file, true);
  bool ok = EGifPutScreenDesc(file, width, height, 8, 0, global) == GIF_OK;
  bool hadLocal = false;
  for (const GifFrame& frame : frames) {
    GraphicsControlBlock control{frame.disposal, false, 10, frame.transparent};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    ok = ok && EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK;
    // giflib's encoder forgets (and leaks) a frame's own colour table when the next frame
    // has none: such a frame gets the global colours as a table of its own.
    ColorMapObject* local =
        colourMap(frame.palette.empty() && hadLocal ? globalPalette : frame.palette);
    hadLocal = hadLocal || !frame.palette.empty();
    ok = ok && EGifPutImageDesc(file, frame.left, frame.top, frame.width, frame.height,
                                frame.interlaced, local) == GIF_OK;
    GifFreeMapObject(local);
    if (frame.flat) {
      if (!ok) continue;
      // EGifPutImageDesc has just written the code size it chose.
      const Bytes data = flatLzw(std::uint64_t(frame.width) * std::uint64_t(frame.height),
                                 frame.indices.at(0), gif.back());
      GifByteType block[256];
      for (std::size_t at = 0; ok && at < data.size(); at += 255) {
        block[0] = GifByteType(std::min<std::size_t>(255, data.size() - at));
        std::memcpy(block + 1, data.data() + at, block[0]);
        ok = EGifPutCodeNext(file, block) == GIF_OK;
      }
      ok = ok && EGifPutCodeNext(file, nullptr) == GIF_OK;
      continue;
    }
    // Interlaced frames store every eighth row from 0, every eighth from 4, every fourth
    // from 2, then every second from 1.
    std::vector<int> order;
    if (frame.interlaced) {
      for (auto [first, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
        for (int row = first; row < frame.height; row += step) order.push_back(row);
      }
    } else {
      for (int row = 0; row < frame.height; ++row) order.push_back(row);
    }
    for (int row : order) {
      GifPixelType* line = const_cast<GifPixelType*>(frame.indices.data()) +
                           std::size_t(row) * std::size_t(frame.width);
      ok = ok && EGifPutLine(file, line, frame.width) == GIF_OK;
    }
  }
  ok = EGifCloseFile(file, &error) == GIF_OK && ok;
  GifFreeMapObject(global);
  if (!ok) throw std::runtime_error(std::string("GIF: ") + GifErrorString(error));
  return gif;
}

Bytes handMadeGif(const Bytes& data, std::uint8_t recordByte) {
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 255, 0, 0, 0, 255, 0};
  gif.push_back(recordByte);
  gif.insert(gif.end(), {0, 0, 0, 0, 2, 0, 2, 0, 0});  // at 0,0, 2 x 2, no colours of its own
  gif.insert(gif.end(), data.begin(), data.end());
  gif.push_back(0x3B);
  return gif;
}

Bytes exifWithOrientation(int orientation, bool bigEndian) {
  Bytes tiff;
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
      tiff.push_back(std::uint8_t(value >> shift));
    }
  };
  putText(tiff, bigEndian ? "MM" : "II");
  put(42, 2);
  put(8, 4);                                          // the first directory follows the header
  put(2, 2);                                          // entries
  put(0x0100, 2), put(4, 2), put(1, 4), put(640, 4);  // ImageWidth, LONG
  put(0x0112, 2), put(3, 2), put(1, 4);               // Orientation, SHORT
  put(std::uint32_t(orientation), 2), put(0, 2);
  put(0, 4);  // no next directory
  return tiff;
}

Bytes withExif(const Bytes& picture, const Bytes& exif) {
  if (picture.size() > 2 && picture[0] == 0xFF && picture[1] == 0xD8) {
    Bytes segment = {0xFF, 0xE1};
    const std::size_t length = 2 + 6 + exif.size();
    segment.push_back(std::uint8_t(length >> 8));
    segment.push_back(std::uint8_t(length));
    segment.insert(segment.end(), {'E', 'x', 'i', 'f', 0, 0});
    segment.insert(segment.end(), exif.begin(), exif.end());
    Bytes jpeg(picture.begin(), picture.begin() + 2);
    jpeg.insert(jpeg.end(), segment.begin(), segment.end());
    jpeg.insert(jpeg.end(), picture.begin() + 2, picture.end());
    return jpeg;
  }
  if (picture.size() > 8 && picture[0] == 0x89) {
    return withChunkBeforeData(picture, pngChunk("eXIf", exif));
  }
  auto chunk = [](Bytes& out, const char* type, const Bytes& data) {
    putText(out, type);
    putLittleEndian(out, std::uint32_t(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() % 2) out.push_back(0);
  };
  Bytes body(picture.begin() + 12, picture.end());  // the chunks after RIFF, size, WEBP
  constexpr std::uint8_t kExifFlag = 0x08, kAlphaFlag = 0x10;
  if (std::memcmp(body.data(), "VP8X", 4) != 0) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(picture.data(), picture.size(), &features) != VP8_STATUS_OK) {
      throw std::runtime_error("WebP: no features");
    }
    Bytes header = {std::uint8_t(features.has_alpha ? kAlphaFlag : 0), 0, 0, 0};
    putLittleEndian(header, std::uint32_t(features.width - 1), 3);
    putLittleEndian(header, std::uint32_t(features.height - 1), 3);
    Bytes extended;
    chunk(extended, "VP8X", header);
    extended.insert(extended.end(), body.begin(), body.end());
    body = std::move(extended);
  }
  body[8] |= kExifFlag;
  chunk(body, "EXIF", exif);
  Bytes webp;
  putText(webp, "RIFF");
  putLittleEndian(webp, std::uint32_t(4 + body.size()), 4);
  putText(webp, "WEBP");
  webp.insert(webp.end(), body.begin(), body.end());
  return webp;
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
  std::random_device random;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() /
            ("tessaren-test-" + std::to_string(random()) + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tessaren::test
