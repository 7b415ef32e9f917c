// What the address in Properties answered with, and the picture it names: the picture
// itself, an HTML page (og:image, twitter:image, image_src, else its main picture), an
// RSS, Atom or RDF feed or a JSON Feed (its newest item's picture) or a JSON document
// (the string a JSON Pointer names). Nothing
// in a document runs and nothing else is fetched: the result is one address to download.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "download/fetch.h"
#include "platform/failure.h"

namespace tessaren {

enum class DocumentKind { Picture, Feed, Json, Html };

// Decided from the first bytes, which must hold at least the start of the root element:
// a JPEG, PNG, GIF or WebP signature is a picture; XML (UTF-8, UTF-16 or UTF-32) whose
// root element is rss, feed or RDF is a feed; text that starts with '{' or '[' is JSON;
// other markup is HTML. Where the bytes tell nothing (no markup, no JSON bracket) the
// Content-Type decides: image/* but SVG is a picture (the decoder then says whether it
// can read it), a JSON type is JSON, anything else HTML. A byte order mark and leading
// blanks are skipped.
DocumentKind classifyDocument(std::string_view bytes, std::string_view contentType);

// A page, feed or document larger than this is not read.
inline constexpr std::uint64_t kMaxDocumentBytes = 4u << 20;

// TooLarge ("the page is larger than 4 MB") when a body that is not a picture has grown
// beyond kMaxDocumentBytes.
std::optional<Failure> documentSizeFailure(std::uint64_t bytes);

// For a download's FetchRequest::limitFor: a body whose first bytes and Content-Type show
// no picture stops at kMaxDocumentBytes while it downloads; a picture keeps its own limit.
std::optional<BodyLimit> documentLimitFor(std::string_view head, std::string_view contentType);

struct FindResult {
  DocumentKind kind = DocumentKind::Html;
  // Absolute http(s), in usablePictureAddress's form; for a picture, the document's own
  // address.
  std::string address;
  // Where it came from, for the log and About: "og:image", "twitter:image", "image_src",
  // "main picture of the page", "linked full-size picture", the feed item's title (a JSON
  // Feed's too, as a Feed), "pointer /images/0/url", "picture".
  std::string source;
  // Why there is no address: NoPictureFound (the document names none, or is not what it
  // claims to be), UnusableAddress (it names one that is not http or https), TooLarge,
  // Cancelled.
  std::optional<Failure> failure;
};

// The picture that document names. documentUrl is the address the document came from
// (after redirects), against which relative references are resolved; pointer is the
// `pointer` setting, used for JSON only: empty means automatic (see findInJson in
// source/finders.h). All the HTML read for one document (a page, or the pieces of a feed
// item) shares one budget (HtmlLimits in source/html_tree.h); over it, the failure is
// TooLarge. stop, when not null, is the update's stop flag: once raised, the failure is
// Cancelled.
FindResult findPicture(std::string_view document, std::string_view contentType,
                       const std::string& documentUrl, const std::string& pointer,
                       const std::atomic<bool>* stop = nullptr);

// A reason when pointer is not a JSON Pointer (RFC 6901): empty, or '/' followed by
// tokens in which '~' is always followed by '0' or '1'. For Properties.
std::optional<Failure> checkJsonPointerSyntax(const std::string& pointer);

}  // namespace tessaren
