// The decoders' and parsers' libraries as each build links them (Debian's natively, the
// cross-built static ones under Wine): each reads a few bytes it made or was given, and
// every test picture that scripts/setup keeps decodes.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <gumbo.h>
#include <spng.h>
#include <uriparser/Uri.h>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "tests/support/file_contents.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using tessaren::test::fileContents;

// A 3 x 2 RGBA picture with distinct pixels and alphas (none fully transparent: lossless
// WebP keeps the colour of those only when asked to).
const Bytes kPixels = {255, 0, 0, 255, 0,   255, 0,   128, 0, 0,  255, 1,
                       1,   2, 3, 4,   250, 251, 252, 253, 9, 99, 199, 255};

std::vector<fs::path> picturesIn(const fs::path& folder, const std::string& extension) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().extension() == extension) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// --- PNG: libspng with zlib -------------------------------------------------------------

struct Png {
  uint32_t width = 0, height = 0;
  Bytes rgba;
  int error = 0;
};

Png decodePng(const void* data, size_t size) {
  Png png;
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> ctx(spng_ctx_new(0), spng_ctx_free);
  size_t length = 0;
  spng_ihdr ihdr{};
  if ((png.error = spng_set_png_buffer(ctx.get(), data, size)) ||
      (png.error = spng_get_ihdr(ctx.get(), &ihdr)) ||
      (png.error = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &length)))
    return png;
  png.rgba.resize(length);
  png.error = spng_decode_image(ctx.get(), png.rgba.data(), length, SPNG_FMT_RGBA8, 0);
  png.width = ihdr.width;
  png.height = ihdr.height;
  return png;
}

Bytes encodePng(const Bytes& rgba, uint32_t width, uint32_t height) {
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> ctx(spng_ctx_new(SPNG_CTX_ENCODER),
                                                          spng_ctx_free);
  spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{};
  ihdr.width = width;
  ihdr.height = height;
  ihdr.bit_depth = 8;
  ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  spng_set_ihdr(ctx.get(), &ihdr);
  if (spng_encode_image(ctx.get(), rgba.data(), rgba.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE))
    return {};
  size_t size = 0;
  int error = 0;
  std::unique_ptr<void, decltype(&free)> buffer(spng_get_png_buffer(ctx.get(), &size, &error),
                                                free);
  if (error) return {};
  const auto* bytes = static_cast<const unsigned char*>(buffer.get());
  return Bytes(bytes, bytes + size);
}

TEST(PngLibrary, EncodesAndDecodesAPictureExactly) {
  const Bytes png = encodePng(kPixels, 3, 2);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
  const Png decoded = decodePng(png.data(), png.size());
  ASSERT_EQ(0, decoded.error) << spng_strerror(decoded.error);
  EXPECT_EQ(3u, decoded.width);
  EXPECT_EQ(2u, decoded.height);
  EXPECT_EQ(kPixels, decoded.rgba);
}

TEST(PngLibrary, RefusesAPictureCutShortUnlessOnlyItsEndIsMissing) {
  const Bytes png = encodePng(kPixels, 3, 2);
  ASSERT_FALSE(png.empty());
  struct Case {
    size_t cut;  // bytes missing at the end
    bool refused;
  };
  const Case cases[] = {
      {png.size() - 8, true},   // the signature alone
      {png.size() - 33, true},  // signature and header, no picture data
      {24, true},               // the compressed data cut short
      {20, true},               // the compressed data without its Adler-32 checksum
      // Only IDAT's CRC and IEND missing: spng has the whole picture and does not read on,
      // so a decoder that must refuse such a file checks for IEND itself.
      {16, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.refused, decodePng(png.data(), png.size() - c.cut).error != 0)
        << c.cut << " bytes missing";
  }
}

TEST(PngLibrary, DecodesEveryPngSuitePicture) {
  const auto pictures = picturesIn(fs::path(TESSAREN_TESTDATA_DIR) / "pngsuite", ".png");
  EXPECT_GE(pictures.size(), 50u);
  for (const auto& path : pictures) {
    const std::string bytes = fileContents(path);
    const Png decoded = decodePng(bytes.data(), bytes.size());
    EXPECT_EQ(0, decoded.error) << path << ": " << spng_strerror(decoded.error);
    EXPECT_EQ(32u, decoded.width) << path;  // every PngSuite picture is 32 x 32
    EXPECT_EQ(32u * 32u * 4u, decoded.rgba.size()) << path;
  }
}

// --- WebP: libwebp and libwebpdemux ---------------------------------------------------

TEST(WebpLibrary, EncodesLosslesslyDecodesAndDemuxes) {
  uint8_t* encoded = nullptr;
  const size_t size = WebPEncodeLosslessRGBA(kPixels.data(), 3, 2, 3 * 4, &encoded);
  ASSERT_GT(size, 0u);
  std::unique_ptr<uint8_t, decltype(&WebPFree)> owned(encoded, WebPFree);

  int width = 0, height = 0;
  std::unique_ptr<uint8_t, decltype(&WebPFree)> rgba(WebPDecodeRGBA(encoded, size, &width, &height),
                                                     WebPFree);
  ASSERT_NE(nullptr, rgba);
  EXPECT_EQ(3, width);
  EXPECT_EQ(2, height);
  EXPECT_EQ(kPixels, Bytes(rgba.get(), rgba.get() + kPixels.size()));

  const WebPData data{encoded, size};
  std::unique_ptr<WebPDemuxer, decltype(&WebPDemuxDelete)> demux(WebPDemux(&data), WebPDemuxDelete);
  ASSERT_NE(nullptr, demux);
  EXPECT_EQ(3u, WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
  EXPECT_EQ(1u, WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT));
}

TEST(WebpLibrary, DecodesEveryTestPicture) {
  const auto pictures = picturesIn(fs::path(TESSAREN_TESTDATA_DIR) / "webp", ".webp");
  EXPECT_GE(pictures.size(), 1u);
  for (const auto& path : pictures) {
    const std::string bytes = fileContents(path);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    int infoWidth = 0, infoHeight = 0, width = 0, height = 0;
    ASSERT_TRUE(WebPGetInfo(data, bytes.size(), &infoWidth, &infoHeight)) << path;
    std::unique_ptr<uint8_t, decltype(&WebPFree)> rgba(
        WebPDecodeRGBA(data, bytes.size(), &width, &height), WebPFree);
    EXPECT_NE(nullptr, rgba) << path;
    EXPECT_EQ(infoWidth, width) << path;
    EXPECT_EQ(infoHeight, height) << path;
  }
}

// --- GIF: giflib, through its memory callbacks ------------------------------------------

struct GifBuffer {
  Bytes bytes;
  size_t read = 0;
};

int writeGif(GifFileType* gif, const GifByteType* data, int length) {
  auto* buffer = static_cast<GifBuffer*>(gif->UserData);
  buffer->bytes.insert(buffer->bytes.end(), data, data + length);
  return length;
}

int readGif(GifFileType* gif, GifByteType* data, int length) {
  auto* buffer = static_cast<GifBuffer*>(gif->UserData);
  const size_t n = std::min<size_t>(length, buffer->bytes.size() - buffer->read);
  std::memcpy(data, buffer->bytes.data() + buffer->read, n);
  buffer->read += n;
  return static_cast<int>(n);
}

// DGifSlurp's whole file, or null with the error code.
std::unique_ptr<GifFileType, void (*)(GifFileType*)> slurpGif(GifBuffer& buffer, int& error) {
  auto close = [](GifFileType* gif) { DGifCloseFile(gif, nullptr); };
  std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(DGifOpen(&buffer, readGif, &error),
                                                           close);
  if (gif && DGifSlurp(gif.get()) != GIF_OK) {
    error = gif->Error;
    gif.reset();
  }
  return gif;
}

TEST(GifLibrary, EncodesAndDecodesAPictureExactly) {
  const GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {7, 8, 9}};
  const Bytes indices = {0, 1, 2, 3, 3, 1};  // 3 x 2
  GifBuffer buffer;
  int error = 0;
  GifFileType* out = EGifOpen(&buffer, writeGif, &error);
  ASSERT_NE(nullptr, out) << GifErrorString(error);
  ColorMapObject* map = GifMakeMapObject(4, colours);
  ASSERT_EQ(GIF_OK, EGifPutScreenDesc(out, 3, 2, 2, 0, map));
  ASSERT_EQ(GIF_OK, EGifPutImageDesc(out, 0, 0, 3, 2, false, nullptr));
  for (int row = 0; row < 2; ++row) {
    Bytes line(indices.begin() + row * 3, indices.begin() + row * 3 + 3);
    ASSERT_EQ(GIF_OK, EGifPutLine(out, line.data(), 3));
  }
  ASSERT_EQ(GIF_OK, EGifCloseFile(out, &error)) << GifErrorString(error);
  GifFreeMapObject(map);

  auto gif = slurpGif(buffer, error);
  ASSERT_NE(nullptr, gif) << GifErrorString(error);
  EXPECT_EQ(3, gif->SWidth);
  EXPECT_EQ(2, gif->SHeight);
  ASSERT_EQ(1, gif->ImageCount);
  EXPECT_EQ(indices, Bytes(gif->SavedImages[0].RasterBits, gif->SavedImages[0].RasterBits + 6));
  ASSERT_NE(nullptr, gif->SColorMap);
  EXPECT_EQ(7, gif->SColorMap->Colors[3].Red);
  EXPECT_EQ(9, gif->SColorMap->Colors[3].Blue);
}

TEST(GifLibrary, DecodesEveryTestPicture) {
  const auto pictures = picturesIn(fs::path(TESSAREN_TESTDATA_DIR) / "gif", ".gif");
  EXPECT_GE(pictures.size(), 10u);
  for (const auto& path : pictures) {
    const std::string bytes = fileContents(path);
    GifBuffer buffer{Bytes(bytes.begin(), bytes.end())};
    int error = 0;
    auto gif = slurpGif(buffer, error);
    ASSERT_NE(nullptr, gif) << path << ": " << GifErrorString(error);
    EXPECT_GT(gif->SWidth, 0) << path;
    EXPECT_GE(gif->ImageCount, 1) << path;
  }
}

// --- HTML: gumbo ----------------------------------------------------------------------

// The first element with this tag, in document order.
const GumboNode* findElement(const GumboNode* node, GumboTag tag) {
  if (node->type != GUMBO_NODE_ELEMENT) return nullptr;
  if (node->v.element.tag == tag) return node;
  const GumboVector& children = node->v.element.children;
  for (unsigned i = 0; i < children.length; ++i) {
    if (auto* found = findElement(static_cast<const GumboNode*>(children.data[i]), tag))
      return found;
  }
  return nullptr;
}

TEST(GumboLibrary, BuildsTheTreeABrowserWould) {
  struct Case {
    const char* html;
    GumboTag tag;
    GumboTag parent;
    const char* text;
  };
  const Case cases[] = {
      {"<p>x", GUMBO_TAG_P, GUMBO_TAG_BODY, "x"},         // html, head, body implied
      {"<table><td>c", GUMBO_TAG_TD, GUMBO_TAG_TR, "c"},  // tbody and tr implied
      {"<title>t</title><a href=u>a", GUMBO_TAG_TITLE, GUMBO_TAG_HEAD, "t"},
  };
  for (const auto& c : cases) {
    GumboOutput* output = gumbo_parse(c.html);
    const GumboNode* element = findElement(output->root, c.tag);
    ASSERT_NE(nullptr, element) << c.html;
    ASSERT_EQ(GUMBO_NODE_ELEMENT, element->parent->type) << c.html;
    EXPECT_EQ(c.parent, element->parent->v.element.tag) << c.html;
    ASSERT_EQ(1u, element->v.element.children.length) << c.html;
    const auto* text = static_cast<const GumboNode*>(element->v.element.children.data[0]);
    ASSERT_EQ(GUMBO_NODE_TEXT, text->type) << c.html;
    EXPECT_STREQ(c.text, text->v.text.text) << c.html;
    gumbo_destroy_output(&kGumboDefaultOptions, output);
  }
}

// --- XML: pugixml ---------------------------------------------------------------------

TEST(PugixmlLibrary, ParsesWellFormedXmlOnly) {
  struct Case {
    const char* xml;
    pugi::xml_parse_status status;
    const char* root;
  };
  const Case cases[] = {
      {"<a/>", pugi::status_ok, "a"},
      {"<?xml version='1.0'?><feed><e x='1'/></feed>", pugi::status_ok, "feed"},
      {"<a>", pugi::status_end_element_mismatch, ""},
      {"<a></b>", pugi::status_end_element_mismatch, ""},
  };
  for (const auto& c : cases) {
    pugi::xml_document doc;
    EXPECT_EQ(c.status, doc.load_string(c.xml).status) << c.xml;
    if (c.status == pugi::status_ok) {
      EXPECT_STREQ(c.root, doc.document_element().name()) << c.xml;
    }
  }
}

// --- JSON: nlohmann-json --------------------------------------------------------------

TEST(JsonLibrary, ParsesValidJsonAndRefusesTheRest) {
  const auto json = nlohmann::json::parse(R"({"a":1,"b":["x",2.5]})");
  EXPECT_EQ(1, json.at("a").get<int>());
  EXPECT_EQ("x", json.at("b").at(0).get<std::string>());
  for (const char* bad : {"{", "{\"a\":}", "[1,]", "{'a':1}"}) {
    EXPECT_FALSE(nlohmann::json::accept(bad)) << bad;
    EXPECT_THROW(auto parsed = nlohmann::json::parse(bad), nlohmann::json::parse_error) << bad;
  }
}

// --- URIs: uriparser ------------------------------------------------------------------

std::string resolve(const char* base, const char* reference) {
  UriUriA baseUri, referenceUri, resolved;
  const char* errorPos = nullptr;
  if (uriParseSingleUriA(&baseUri, base, &errorPos) != URI_SUCCESS) return "bad base";
  if (uriParseSingleUriA(&referenceUri, reference, &errorPos) != URI_SUCCESS) {
    uriFreeUriMembersA(&baseUri);
    return "bad reference";
  }
  std::string text = "no result";
  if (uriAddBaseUriA(&resolved, &referenceUri, &baseUri) == URI_SUCCESS) {
    int chars = 0;
    uriToStringCharsRequiredA(&resolved, &chars);
    std::string out(chars + 1, '\0');
    uriToStringA(out.data(), &resolved, chars + 1, nullptr);
    text = out.c_str();
    uriFreeUriMembersA(&resolved);
  }
  uriFreeUriMembersA(&referenceUri);
  uriFreeUriMembersA(&baseUri);
  return text;
}

TEST(UriparserLibrary, ResolvesReferencesAsRfc3986Does) {
  // RFC 3986, section 5.4: base http://a/b/c/d;p?q
  const std::pair<const char*, const char*> cases[] = {
      {"g", "http://a/b/c/g"},          {"../g", "http://a/b/g"}, {"?y", "http://a/b/c/d;p?y"},
      {"#s", "http://a/b/c/d;p?q#s"},   {"//g", "http://g"},      {"../../../g", "http://a/g"},
      {"g;x=1/../y", "http://a/b/c/y"},
  };
  for (const auto& [reference, expected] : cases) {
    EXPECT_EQ(expected, resolve("http://a/b/c/d;p?q", reference)) << reference;
  }
  EXPECT_EQ("bad reference", resolve("http://a/b", "http://[x"));
}

}  // namespace
