// Splits a picture URL into the host, the path with its query and the port, the way
// WinINet's canonicaliser (browser mode) and splitter would. Only http and https URLs
// are usable: anything else has no picture for an HTTP request to fetch.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

struct UrlParts {
  std::string serverName;
  std::string objectPath;  // path with its query, without the fragment; "/" when it names none
  std::uint32_t port = 0;  // from the URL, or the scheme's default (http 80, https 443)
  bool secure = false;     // the scheme is https
};

// On success fills parts and returns true; on failure returns false and leaves parts
// exactly as they were.
bool parseUrl(const std::string& url, UrlParts& parts);

}  // namespace tessaren
