// Placeholder until the URL splitter lands: no URL parses.
#include "download/url_parser.h"

namespace tessaren {

bool parseUrl(const std::string&, UrlParts&) { return false; }

}  // namespace tessaren
