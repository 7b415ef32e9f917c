// A whole file's bytes as a string, for tests that compare what landed on disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tessaren::test {

inline std::string fileContents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tessaren::test
