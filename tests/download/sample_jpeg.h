// Small real JPEG pictures for the download tests, padded to an exact size where a test
// needs the body to fill whole or uneven read chunks.
#pragma once

#include <cstddef>
#include <string>

namespace tessaren::test {

// A baseline colour JPEG of width x height with a gradient; when exactSize is larger than
// the encoded picture, comment segments after the start marker make up the difference.
std::string sampleJpeg(int width, int height, std::size_t exactSize = 0);

}  // namespace tessaren::test
