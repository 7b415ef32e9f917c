// Encodes the sample pictures with libjpeg into memory.
#include "tests/download/sample_jpeg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

namespace tessaren::test {

std::string sampleJpeg(int width, int height, std::size_t exactSize) {
  jpeg_compress_struct compress{};
  jpeg_error_mgr errors{};
  compress.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compress);
  unsigned char* encoded = nullptr;
  unsigned long encodedSize = 0;
  jpeg_mem_dest(&compress, &encoded, &encodedSize);
  compress.image_width = static_cast<JDIMENSION>(width);
  compress.image_height = static_cast<JDIMENSION>(height);
  compress.input_components = 3;
  compress.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compress);
  jpeg_set_quality(&compress, 85, TRUE);
  jpeg_start_compress(&compress, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  while (compress.next_scanline < compress.image_height) {
    int y = static_cast<int>(compress.next_scanline);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<JSAMPLE>(x * 255 / (width > 1 ? width - 1 : 1));
      row[x * 3 + 1] = static_cast<JSAMPLE>(y * 255 / (height > 1 ? height - 1 : 1));
      row[x * 3 + 2] = static_cast<JSAMPLE>((x + y) & 0xFF);
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&compress, rows, 1);
  }
  jpeg_finish_compress(&compress);
  std::string picture(reinterpret_cast<const char*>(encoded), encodedSize);
  jpeg_destroy_compress(&compress);
  std::free(encoded);

  if (exactSize == 0 || exactSize == picture.size()) return picture;
  // A comment segment is at least 4 bytes (marker and length) and at most 65537.
  if (exactSize < picture.size() + 4) {
    std::fprintf(stderr, "sampleJpeg: %zu bytes is too small for the picture (%zu)\n", exactSize,
                 picture.size());
    std::abort();
  }
  std::string padding;
  std::size_t missing = exactSize - picture.size();
  while (missing > 0) {
    std::size_t segment = std::min<std::size_t>(missing, 65537);
    if (missing - segment > 0 && missing - segment < 4) segment -= 4;  // leave room for one more
    std::size_t length = segment - 2;
    padding += "\xFF\xFE";
    padding += static_cast<char>(length >> 8);
    padding += static_cast<char>(length & 0xFF);
    padding.append(length - 2, 'c');
    missing -= segment;
  }
  picture.insert(2, padding);  // right after the start-of-image marker
  return picture;
}

}  // namespace tessaren::test
