// What the platforms' files have in common.
#include "platform/files.h"

#include <cstring>
#include <memory>

#include "platform/handles.h"

namespace tessaren {

bool sameContents(const std::string& first, const std::string& second) {
  const OwnedFile a(std::fopen(first.c_str(), "rb"));
  const OwnedFile b(std::fopen(second.c_str(), "rb"));
  if (!a || !b) return false;
  static constexpr std::size_t kChunk = 64 * 1024;
  auto bufferA = std::make_unique<char[]>(kChunk);
  auto bufferB = std::make_unique<char[]>(kChunk);
  for (;;) {
    const std::size_t readA = std::fread(bufferA.get(), 1, kChunk, a.get());
    const std::size_t readB = std::fread(bufferB.get(), 1, kChunk, b.get());
    if (readA != readB || std::memcmp(bufferA.get(), bufferB.get(), readA) != 0) return false;
    if (readA < kChunk) return std::ferror(a.get()) == 0 && std::ferror(b.get()) == 0;
  }
}

}  // namespace tessaren
