// What a server said about a document's version (ETag and Last-Modified), kept exactly as
// sent so that the next request can ask whether it has changed: the download sends them,
// the settings keep them with the applied picture.
#pragma once

#include <cstddef>
#include <string>

namespace tessaren {

// Any bytes but control characters, at most kLongestValidator of them.
struct Validators {
  std::string etag;
  std::string lastModified;
  bool operator==(const Validators&) const = default;
};
constexpr std::size_t kLongestValidator = 256;

// A validator as the server sent it, or empty when it is not worth keeping: too long, or
// with a control character that would end our header line.
std::string keptValidator(const std::string& sent);

}  // namespace tessaren
