// The finders behind findPicture, one per kind of document, and what they share: turning
// the references a document holds into the first usable picture address.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "source/find_picture.h"

namespace tessaren {

class HtmlBudget;

// og:image:secure_url, og:image (og:image:url), twitter:image, twitter:image:src, then
// <link rel="image_src">, from <meta property=...> or <meta name=...> anywhere in the
// page; resolved against <base href> (itself resolved against pageUrl) or pageUrl. The
// page is parsed within budget, which also holds the stop flag.
FindResult findInPage(std::string_view html, const std::string& pageUrl, HtmlBudget& budget);

// The newest item of an RSS 2.0, RSS 1.0 (RDF) or Atom feed, by pubDate, updated,
// published or dc:date (the first item when none has a date), and in it: an image
// media:content (the largest by width x height, else by fileSize), an image enclosure,
// a media:thumbnail, else the <img src> in its description or content. Relative
// addresses are resolved against xml:base and feedUrl. The item's HTML is parsed only as
// far as it takes to find a usable picture, each piece in turn, all within budget, which
// also holds the stop flag.
FindResult findInFeed(std::string_view xml, const std::string& feedUrl, HtmlBudget& budget);

// The string that pointer names, resolved against documentUrl. An empty pointer means
// automatic: the first member, in document order at any depth, named url, image, src or
// hdurl (in any case) whose string value resolves to an http(s) address. stop, when not
// null, ends the reading early (Cancelled).
FindResult findInJson(std::string_view json, const std::string& documentUrl,
                      const std::string& pointer, const std::atomic<bool>* stop = nullptr);

// A date as feeds write it, RFC 822 ("Tue, 10 Jun 2003 04:00:00 +0200", RSS) or RFC 3339
// ("2003-06-10T04:00:00+02:00", Atom and dc:date, where a date alone is midnight UTC),
// as seconds since 1970 UTC; nullopt when it is neither.
std::optional<std::int64_t> parseFeedDate(std::string_view text);

// One reference a document names.
struct Reference {
  std::string text;
  std::string what;    // for a reason: "og:image", "media:content"
  std::string source;  // for the log: FindResult::source
};

// The first reference that resolves against base to a usable address. Otherwise
// UnusableAddress naming the first one that does not, or NoPictureFound with noneFound
// when there are none.
FindResult firstUsable(DocumentKind kind, const std::vector<Reference>& references,
                       const std::string& base, const std::string& noneFound);

FindResult notFound(DocumentKind kind, FailureKind failureKind, std::string detail);
FindResult notFound(DocumentKind kind, Failure failure);

}  // namespace tessaren
