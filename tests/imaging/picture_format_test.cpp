// The format told from the first bytes alone, and what a refusal says came instead.
#include <gtest/gtest.h>

#include "imaging/picture_decoder.h"

namespace tessaren {
namespace {

using namespace std::literals;

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(PictureFormat, SignatureDecidesAlone) {
  using enum PictureFormat;
  struct Case {
    std::string_view bytes;
    std::optional<PictureFormat> format;
  } cases[] = {
      {"\xFF\xD8\xFF\xE0"sv, Jpeg},
      {"\xFF\xD8\xFF", Jpeg},
      {"\xFF\xD8", std::nullopt},
      {"\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR"sv, Png},
      {"\x89PNG\n\x1A\n", std::nullopt},  // a PNG sent through a text-mode transfer
      {"RIFF\x10\0\0\0WEBPVP8 "sv, WebP},
      {"RIFF\x10\0\0\0WAVEfmt "sv, std::nullopt},
      {"RIFF\x10\0\0\0WEB"sv, std::nullopt},
      {"GIF89a\x01\0"sv, Gif},
      {"GIF87a", Gif},
      {"GIF88a", std::nullopt},
      {"BM6\0\0\0"sv, std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pictureFormatOf(bytesOf(c.bytes)), c.format) << testing::PrintToString(c.bytes);
  }
  EXPECT_EQ(pictureFormatName(WebP), "WebP");
}

TEST(PictureFormat, RefusalSaysWhatCame) {
  struct Case {
    std::string_view contentType;
    std::string_view bytes;
    std::string reason;
  } cases[] = {
      {"text/html", "<!DOCTYPE html>\n<html>", "(text/html, starts with `<!DOCTYPE`)"},
      {"text/html; charset=utf-8", "\xEF\xBB\xBF  \r\n<html><body>502 Bad Gateway",
       "(text/html, starts with `<html><body>502`)"},
      {"", "{\"error\":\"quota\"}", "(starts with `{\"error\":\"quota\"}`)"},
      {"", "{\"error\":\"quota_exceeded\"}", "(starts with `{\"error\":\"quota_e...`)"},
      {"application/json", "", "(application/json, empty)"},
      {"", "\0\0\x01\0\x01\0"sv, "(starts with bytes 00 00 01 00)"},
      {"image/\x1B[31mtiff", "II*\0"sv, "(image/ [31mtiff, starts with `II*`)"},
      {"", "caf\xC3\xA9\xFF menu", "(starts with `caf\xC3\xA9\xEF\xBF\xBD`)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(notAPictureReason(c.contentType, bytesOf(c.bytes)),
              "not a picture Tessaren can read " + c.reason);
  }
}

}  // namespace
}  // namespace tessaren
