// What every decoder shares: telling the format from its signature, the words of a
// refusal, and the header's size against the limits.
#include "imaging/picture_decoder.h"

#include <cstring>

#include "platform/text.h"

namespace tessaren {
namespace {

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view prefix, std::size_t at = 0) {
  return bytes.size() >= at + prefix.size() &&
         std::memcmp(bytes.data() + at, prefix.data(), prefix.size()) == 0;
}

std::string sizeText(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// Millions where they are many, as the limits are worded; exact below a million.
std::string pixelCount(std::uint64_t pixels) {
  return pixels < 1000000 ? std::to_string(pixels) : std::to_string(pixels / 1000000) + " million";
}

// The bytes up to the first blank or control character, after any blanks and byte-order
// mark in front: `<!DOCTYPE` of an HTML page, `{"error":` of a JSON answer.
std::string firstWord(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kShown = 20;
  std::size_t at = startsWith(bytes, "\xEF\xBB\xBF") ? 3 : 0;
  while (at < bytes.size() && (bytes[at] == ' ' || (bytes[at] >= '\t' && bytes[at] <= '\r'))) {
    ++at;
  }
  std::size_t end = at;
  while (end < bytes.size() && end - at < kShown + 1 && bytes[end] > ' ' && bytes[end] != 0x7F) {
    ++end;
  }
  return displaySafe(std::string_view(reinterpret_cast<const char*>(bytes.data()) + at, end - at),
                     kShown);
}

}  // namespace

std::string_view pictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg:
      return "JPEG";
    case PictureFormat::Png:
      return "PNG";
    case PictureFormat::WebP:
      return "WebP";
    case PictureFormat::Gif:
      return "GIF";
  }
  return "?";
}

std::optional<PictureFormat> pictureFormatOf(std::span<const std::uint8_t> firstBytes) {
  if (startsWith(firstBytes, "\xFF\xD8\xFF")) return PictureFormat::Jpeg;
  if (startsWith(firstBytes, "\x89PNG\r\n\x1A\n")) return PictureFormat::Png;
  if (startsWith(firstBytes, "RIFF") && startsWith(firstBytes, "WEBP", 8)) {
    return PictureFormat::WebP;
  }
  if (startsWith(firstBytes, "GIF87a") || startsWith(firstBytes, "GIF89a")) {
    return PictureFormat::Gif;
  }
  return std::nullopt;
}

std::string notAPictureReason(std::string_view contentType,
                              std::span<const std::uint8_t> firstBytes) {
  std::string what;
  // The media type alone: "text/html" of "text/html; charset=utf-8".
  const std::string mediaType = trimmed(std::string(contentType.substr(0, contentType.find(';'))));
  if (!mediaType.empty()) what = displaySafe(mediaType, 60) + ", ";
  const std::string word = firstWord(firstBytes);
  if (firstBytes.empty()) {
    what += "empty";
  } else if (!word.empty()) {
    what += "starts with `" + word + "`";
  } else {
    what += "starts with bytes";
    static const char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < std::min<std::size_t>(firstBytes.size(), 4); ++i) {
      what += {' ', kHex[firstBytes[i] >> 4], kHex[firstBytes[i] & 15]};
    }
  }
  return "not a picture Tessaren can read (" + what + ")";
}

bool PictureDecoder::fail(FailureKind kind, std::string detail) {
  if (!failure_) failure_ = Failure{kind, std::move(detail)};
  return false;
}

bool PictureDecoder::setSize(std::int64_t width, std::int64_t height, const DecodeLimits& limits,
                             PictureFormat format) {
  const std::string picture =
      sizeText(width, height) + " " + std::string(pictureFormatName(format));
  if (width <= 0 || height <= 0) {
    return fail(FailureKind::BrokenPicture, brokenReason(format, "no pixels: " + picture));
  }
  if (width > limits.maxSide || height > limits.maxSide) {
    return fail(FailureKind::TooLarge, picture + " is larger than Tessaren reads (at most " +
                                           std::to_string(limits.maxSide) + " pixels a side)");
  }
  // JPEG's DCT scaling skips most of the work for a picture drawn smaller; the others
  // decode every pixel whatever is drawn.
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  if (format != PictureFormat::Jpeg && pixels > limits.maxPixels) {
    return fail(FailureKind::TooLarge,
                picture + " is larger than Tessaren reads (" + std::to_string(pixels / 1000000) +
                    " million pixels; at most " + std::to_string(limits.maxPixels / 1000000) +
                    " million)");
  }
  width_ = static_cast<std::int32_t>(width);
  height_ = static_cast<std::int32_t>(height);
  return true;
}

bool PictureDecoder::checkWholePicture(std::uint64_t bytes, const DecodeLimits& limits,
                                       PictureFormat format) {
  if (bytes <= limits.maxPixelBytes) return true;
  return fail(FailureKind::TooLarge, sizeText(width_, height_) + " " +
                                         std::string(pictureFormatName(format)) + " needs " +
                                         formatSize(bytes) + " to decode, more than the " +
                                         formatSize(limits.maxPixelBytes) + " allowed");
}

bool PictureDecoder::checkAnimationWork(std::uint64_t pixels, std::size_t frames,
                                        const DecodeLimits& limits, PictureFormat format) {
  if (pixels <= limits.maxPixels) return true;
  return fail(FailureKind::TooLarge,
              sizeText(width_, height_) + " " + std::string(pictureFormatName(format)) +
                  " animation is too large to decode (" + std::to_string(frames) + " frames, " +
                  pixelCount(pixels) + " pixels in all; at most " + pixelCount(limits.maxPixels) +
                  ")");
}

std::unique_ptr<PictureDecoder> makeDecoder(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg:
      return makeJpegDecoder();
    case PictureFormat::Png:
      return makePngDecoder();
    case PictureFormat::WebP:
      return makeWebPDecoder();
    case PictureFormat::Gif:
      return makeGifDecoder();
  }
  return nullptr;
}

std::string brokenReason(PictureFormat format, std::string_view why) {
  return "broken " + std::string(pictureFormatName(format)) + " picture (" + std::string(why) + ")";
}

std::string cutShortReason(PictureFormat format) {
  return std::string(pictureFormatName(format)) + " cut short";
}

}  // namespace tessaren
