// Encoding through libjpeg into memory. Fixtures are well-formed, so the library's
// default error exit (which ends the process) is acceptable here.
#include "tests/imaging/jpeg_fixtures.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace tessaren::test {

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
  for (int i = 0; i < width * height; ++i)
    pixels.insert(pixels.end(), colour.begin(), colour.end());
  return pixels;
}

ReferencePicture referenceDecode(const Bytes& jpeg) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  ReferencePicture picture;
  picture.width = static_cast<int>(info.output_width);
  picture.height = static_cast<int>(info.output_height);
  picture.components = info.output_components;
  const std::size_t stride = static_cast<std::size_t>(picture.width) * picture.components;
  picture.pixels.resize(stride * picture.height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = picture.pixels.data() + info.output_scanline * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return picture;
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
            ("tessaren-imaging-" + std::to_string(random()) + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tessaren::test
