// tessaren-convert IN.jpg OUT.bmp: the program's own decode and BMP writer from the
// command line, for benchmarks, fuzzing seeds and checks by hand. Exit status 0 when a
// complete BMP was written, 2 when it was but the JPEG was cut short, 1 otherwise.
#include <cstdio>

#include "imaging/bitmap_writer.h"
#include "imaging/jpeg_decoder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IN.jpg OUT.bmp\n", argc > 0 ? argv[0] : "tessaren-convert");
    return 1;
  }
  auto decoded = tessaren::decodeJpegFileForBitmap(argv[1]);
  if (!decoded) return 1;
  tessaren::BitmapWriter writer;
  const tessaren::PixelBuffer& buffer = decoded->buffer;
  writer.write(argv[2], buffer.pixels.get(), buffer.width, buffer.height);
  if (writer.status() != tessaren::kBitmapOk) {
    std::fprintf(stderr, "%s: %s\n", argv[2], writer.status().c_str());
    return 1;
  }
  return decoded->endedEarly ? 2 : 0;
}
