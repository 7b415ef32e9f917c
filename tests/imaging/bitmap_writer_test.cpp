// The BMP writers byte for byte: headers, stride and padding, bands written in any order,
// and the outcome of each kind of failure.
#include "imaging/bitmap_writer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/imaging/jpeg_fixtures.h"

namespace tessaren {
namespace {

using test::Bytes;

std::uint32_t field(const Bytes& file, std::size_t at, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | file[at + i];
  return value;
}

TEST(BitmapWriter, OnePixelFileByteForByte) {
  test::TempDir dir;
  const std::string path = dir.file("one.bmp");
  const Bytes pixel = {0x0A, 0x14, 0x1E};
  BitmapWriter writer;
  writer.write(path, pixel.data(), 1, 1);
  EXPECT_EQ(writer.status(), "OK");
  Bytes expected = {0x42, 0x4D, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0,    0x28,
                    0,    0,    0,    1, 0, 0, 0, 1, 0, 0, 0,    1, 0, 0x18, 0};
  expected.insert(expected.end(), 24, 0);
  expected.insert(expected.end(), {0x0A, 0x14, 0x1E, 0});
  EXPECT_EQ(test::readFile(path), expected);
}

TEST(BitmapWriter, RowsArePaddedToFourBytesInBufferOrder) {
  test::TempDir dir;
  struct Case {
    int width, height;
    std::uint32_t stride;
  } cases[] = {{1, 3, 4}, {2, 2, 8}, {3, 1, 12}, {4, 5, 12}, {5, 2, 16}, {7, 0, 24}};
  BitmapWriter writer;  // one writer for every file
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    EXPECT_EQ(bitmapStride(c.width), c.stride);
    const Bytes pixels = test::patternPixels(c.width, c.height, 3);
    const std::string path = dir.file("rows.bmp");
    writer.write(path, pixels.data(), c.width, c.height);
    ASSERT_EQ(writer.status(), "OK");

    const Bytes file = test::readFile(path);
    ASSERT_EQ(file.size(), 54 + c.stride * c.height);
    EXPECT_EQ(field(file, 2, 4), file.size());
    EXPECT_EQ(field(file, 10, 4), 54u);
    EXPECT_EQ(field(file, 18, 4), static_cast<std::uint32_t>(c.width));
    EXPECT_EQ(field(file, 22, 4), static_cast<std::uint32_t>(c.height));
    for (int row = 0; row < c.height; ++row) {
      const std::size_t at = 54 + row * c.stride;
      const auto source = pixels.begin() + row * c.width * 3;
      EXPECT_TRUE(std::equal(source, source + c.width * 3, file.begin() + at)) << "row " << row;
      for (std::size_t pad = at + c.width * 3; pad < at + c.stride; ++pad) EXPECT_EQ(file[pad], 0);
    }
  }
}

TEST(BitmapWriter, FailuresLeaveTheirStatusAndTheNextWriteStartsAfresh) {
  test::TempDir dir;
  const Bytes pixels = test::patternPixels(4, 2, 3);
  BitmapWriter writer;

  const std::string nowhere = dir.file("missing/picture.bmp");
  writer.write(nowhere, pixels.data(), 4, 2);
  EXPECT_EQ(writer.status(), "Can't open file for writing");
  EXPECT_FALSE(std::filesystem::exists(nowhere));

  writer.write(dir.file("fine.bmp"), pixels.data(), 4, 2);
  EXPECT_EQ(writer.status(), "OK");

  // Sizes that no file can represent touch nothing on disk.
  const std::string kept = dir.file("fine.bmp");
  const Bytes before = test::readFile(kept);
  for (auto [width, height] : {std::pair{-1, 2}, {4, -2}, {30000, 60000}}) {
    writer.write(kept, pixels.data(), width, height);
    EXPECT_EQ(writer.status(), "fwrite error\nGiving up") << width << "x" << height;
  }
  EXPECT_EQ(test::readFile(kept), before);
}

TEST(BitmapWriter, FullDiskIsAWriteErrorWhetherTheRowOrTheCloseFails) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  BitmapWriter writer;
  const Bytes small = test::patternPixels(1, 1, 3);
  writer.write("/dev/full", small.data(), 1, 1);  // everything sits in the stream buffer
  EXPECT_EQ(writer.status(), "fwrite error\nGiving up");
  const Bytes wide = test::patternPixels(5000, 2, 3);  // a row larger than the buffer
  writer.write("/dev/full", wide.data(), 5000, 2);
  EXPECT_EQ(writer.status(), "fwrite error\nGiving up");
}

// Bands arrive top first, in any size; the file holds the rows bottom first. Whatever the
// order, the file is the whole-buffer writer's.
TEST(BitmapFile, BandsInAnyOrderMakeTheWholeBufferFile) {
  test::TempDir dir;
  const int width = 5, height = 7;                             // 15 bytes a row, padded to 16
  const Bytes pixels = test::patternPixels(width, height, 3);  // bottom row first
  BitmapWriter writer;
  writer.write(dir.file("whole.bmp"), pixels.data(), width, height);

  // Each band as the file stores it: its lowest row first, padding included.
  auto band = [&](int top, int count) {
    Bytes rows;
    for (int row = height - top - count; row < height - top; ++row) {
      rows.insert(rows.end(), pixels.begin() + row * width * 3,
                  pixels.begin() + (row + 1) * width * 3);
      rows.push_back(0);
    }
    return rows;
  };
  const std::vector<std::pair<int, int>> orders[] = {
      {{0, 7}}, {{0, 3}, {3, 3}, {6, 1}}, {{6, 1}, {0, 2}, {2, 4}}, {{4, 3}, {0, 1}, {1, 3}}};
  for (const auto& bands : orders) {
    BitmapFile file;
    ASSERT_TRUE(file.create(dir.file("bands.bmp"), width, height));
    for (auto [top, count] : bands)
      EXPECT_TRUE(file.writeBand(top, count, band(top, count).data()));
    EXPECT_TRUE(file.close());
    EXPECT_EQ(file.error(), 0);
    EXPECT_EQ(test::readFile(dir.file("bands.bmp")), test::readFile(dir.file("whole.bmp")));
  }

  BitmapFile file;
  ASSERT_TRUE(file.create(dir.file("bands.bmp"), width, height));
  EXPECT_FALSE(file.writeBand(5, 3, band(4, 3).data()));  // past the bottom edge
  EXPECT_EQ(file.error(), EINVAL);
  EXPECT_FALSE(file.close());
  EXPECT_FALSE(BitmapFile().create(dir.file("huge.bmp"), 30000, 60000));
  EXPECT_FALSE(std::filesystem::exists(dir.file("huge.bmp")));
}

TEST(BitmapFile, FullDiskIsReportedWithItsErrorNumber) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  BitmapFile file;
  ASSERT_TRUE(file.create("/dev/full", 4, 2));  // the headers sit in the stream buffer
  const Bytes rows(32, 7);
  file.writeBand(0, 2, rows.data());
  EXPECT_FALSE(file.close());
  EXPECT_EQ(file.error(), ENOSPC);
}

}  // namespace
}  // namespace tessaren
