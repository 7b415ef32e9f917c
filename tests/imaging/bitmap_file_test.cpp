// The BMP file byte for byte: headers, stride and padding, bands written in any order,
// and the error number of each kind of failure.
#include "imaging/bitmap_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/test_pictures.h"

namespace tessaren {
namespace {

using test::Bytes;

TEST(BitmapFile, OnePixelFileByteForByte) {
  test::TempDir dir;
  BitmapFile file;
  ASSERT_TRUE(file.create(dir.file("one.bmp"), 1, 1));
  const Bytes row = {0x0A, 0x14, 0x1E, 0};
  ASSERT_TRUE(file.writeBand(0, 1, row.data()));
  ASSERT_TRUE(file.close());
  Bytes expected = {0x42, 0x4D, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0,    0x28,
                    0,    0,    0,    1, 0, 0, 0, 1, 0, 0, 0,    1, 0, 0x18, 0};
  expected.insert(expected.end(), 24, 0);
  expected.insert(expected.end(), row.begin(), row.end());
  EXPECT_EQ(test::readFile(dir.file("one.bmp")), expected);
}

// Bands arrive top first, in any size; the file holds the rows bottom first, whatever
// the order they were written in.
TEST(BitmapFile, BandsInAnyOrderLandInTheirPlaces) {
  test::TempDir dir;
  const int width = 5, height = 7;  // 15 bytes a row, padded to 16
  EXPECT_EQ(bitmapStride(width), 16u);
  // Row r of the picture (top first) holds bytes r * 16 + 0 ... 14, and the padding 0.
  auto band = [&](int top, int count) {
    Bytes rows;
    for (int row = top + count - 1; row >= top; --row) {
      for (int b = 0; b < 15; ++b) rows.push_back(std::uint8_t(row * 16 + b));
      rows.push_back(0);
    }
    return rows;
  };
  Bytes expectedRows = band(0, height);
  const std::vector<std::pair<int, int>> orders[] = {
      {{0, 7}}, {{0, 3}, {3, 3}, {6, 1}}, {{6, 1}, {0, 2}, {2, 4}}, {{4, 3}, {0, 1}, {1, 3}}};
  for (const auto& bands : orders) {
    BitmapFile file;
    ASSERT_TRUE(file.create(dir.file("bands.bmp"), width, height));
    for (auto [top, count] : bands)
      EXPECT_TRUE(file.writeBand(top, count, band(top, count).data()));
    EXPECT_TRUE(file.close());
    EXPECT_EQ(file.error(), 0);
    const Bytes written = test::readFile(dir.file("bands.bmp"));
    ASSERT_EQ(written.size(), 54u + 16u * 7u);
    EXPECT_EQ(Bytes(written.begin() + 54, written.end()), expectedRows);
  }

  BitmapFile file;
  ASSERT_TRUE(file.create(dir.file("bands.bmp"), width, height));
  EXPECT_FALSE(file.writeBand(5, 3, band(4, 3).data()));  // past the bottom edge
  EXPECT_EQ(file.error(), EINVAL);
  EXPECT_FALSE(file.close());
  // Sizes no BMP header can hold touch nothing on disk.
  EXPECT_EQ(bitmapFileSize(30000, 60000), 0u);
  EXPECT_EQ(bitmapFileSize(-1, 2), 0u);
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
