// The picture an HTML page names for link previews: Open Graph, then Twitter's card, then
// the older <link rel="image_src">; failing those, the picture the page shows as its
// content, full size when it links to that.
#include <array>
#include <cstring>

#include "download/url.h"
#include "platform/text.h"
#include "source/finders.h"
#include "source/html_tree.h"

namespace tessaren {
namespace {

struct Property {
  const char* name;    // as written in <meta property=...> or <meta name=...>
  const char* source;  // as the log names it
};
// In order of preference; og:image:url is another name for og:image.
constexpr std::array<Property, 5> kProperties{{{"og:image:secure_url", "og:image:secure_url"},
                                               {"og:image", "og:image"},
                                               {"og:image:url", "og:image"},
                                               {"twitter:image", "twitter:image"},
                                               {"twitter:image:src", "twitter:image"}}};

// rel holds a list of tokens separated by blanks.
bool hasToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const std::size_t start = list.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) break;
    list.remove_prefix(start);
    const std::string_view word = list.substr(0, list.find_first_of(kBlanks));
    if (equalsIgnoringCase(word, token)) return true;
    list.remove_prefix(word.size());
  }
  return false;
}

}  // namespace

FindResult findInPage(std::string_view html, const std::string& pageUrl, HtmlBudget& budget) {
  const HtmlTree tree(html, budget);
  if (tree.outcome() == HtmlParse::Stopped) return notFound(DocumentKind::Html, cancelledFailure());
  if (tree.document() == nullptr)
    return notFound(DocumentKind::Html, FailureKind::TooLarge,
                    "page too complex to read (nested too deep or too large)");

  std::array<const char*, kProperties.size()> content{};
  const char* imageSource = nullptr;
  const char* baseHref = nullptr;
  forEachElement(tree.document(), [&](const GumboNode& element) {
    switch (element.v.element.tag) {
      case GUMBO_TAG_BASE:
        // Only the first <base href> counts.
        if (baseHref == nullptr) baseHref = attributeOf(element, "href");
        break;
      case GUMBO_TAG_META: {
        const char* value = attributeOf(element, "content");
        if (value == nullptr || trimmed(value).empty()) break;
        for (const char* attribute : {"property", "name"}) {
          const char* name = attributeOf(element, attribute);
          if (name == nullptr) continue;
          for (std::size_t i = 0; i < kProperties.size(); ++i) {
            if (content[i] == nullptr && equalsIgnoringCase(trimmed(name), kProperties[i].name))
              content[i] = value;
          }
        }
        break;
      }
      case GUMBO_TAG_LINK: {
        const char* rel = attributeOf(element, "rel");
        const char* href = attributeOf(element, "href");
        if (imageSource == nullptr && rel != nullptr && href != nullptr && !trimmed(href).empty() &&
            hasToken(rel, "image_src"))
          imageSource = href;
        break;
      }
      default:
        break;
    }
    return true;
  });

  std::vector<Reference> references;
  for (std::size_t i = 0; i < kProperties.size(); ++i) {
    if (content[i] != nullptr)
      references.push_back({content[i], kProperties[i].name, kProperties[i].source});
  }
  if (imageSource != nullptr) references.push_back({imageSource, "image_src", "image_src"});
  // Pages without those show their picture themselves: a few, in case the first names no
  // usable address.
  for (const HtmlPicture& picture : mainPictures(tree, 4)) {
    if (!picture.link.empty())
      references.push_back({std::string(picture.link), "the link around the page's main picture",
                            "linked full-size picture"});
    references.push_back(
        {std::string(picture.source), "the page's main picture", "main picture of the page"});
  }

  std::string base = pageUrl;
  if (baseHref != nullptr && !trimmed(baseHref).empty()) {
    if (std::optional<std::string> resolved = resolveUrl(pageUrl, baseHref)) base = *resolved;
  }
  return firstUsable(
      DocumentKind::Html, references, base,
      "no picture on the page (no og:image, twitter:image or image_src) and no main picture");
}

}  // namespace tessaren
