// Which validators are worth keeping.
#include "platform/http_validators.h"

#include <algorithm>

namespace tessaren {

std::string keptValidator(const std::string& sent) {
  const bool control = std::any_of(sent.begin(), sent.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
  if (sent.size() > kLongestValidator || control) return "";
  return sent;
}

}  // namespace tessaren
