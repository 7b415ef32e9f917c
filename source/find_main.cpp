// tessaren-find: the picture a saved page, feed or JSON document names, found by the
// program's own code, for trying out an address by hand. It reads files only: nothing is
// fetched, and nothing is looked up, so the program's rule for addresses on the user's own
// network is applied to their spelling alone, with --base as the address typed. With
// --grid it writes out instead the tiles an address of tiles names now (its dated part
// for the current time), for saving them and putting them together with tessaren-convert
// --grid.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "download/url.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "source/dated_address.h"
#include "source/find_picture.h"
#include "source/network_scope.h"
#include "source/tile_grid.h"

namespace {

constexpr const char* kUsage =
    "usage: tessaren-find FILE [--base URL] [--pointer P] [--content-type T]\n"
    "       tessaren-find --grid ADDRESS\n"
    "  FILE            a saved page, feed or JSON document (tessaren-find fetches nothing)\n"
    "  --base URL      the address it was saved from; relative addresses resolve against it\n"
    "  --pointer P     the JSON Pointer setting (default: automatic)\n"
    "  --content-type  the Content-Type it was served with\n"
    "  --grid ADDRESS  an address of tiles ({x:A..B}, {y:A..B}): print its grid and each\n"
    "                  tile's address, row by row, its dates as due now\n"
    "Prints the picture's address and where it came from; exit 1 with the reason when\n"
    "there is none.\n";

// The tiles an address names now, one address a line after the grid's size.
int printGrid(const std::string& address) {
  using namespace tessaren;
  if (auto problem = checkTemplateSyntax(address)) {
    std::fprintf(stderr, "%s\n", displaySafe(problem->detail, 400).c_str());
    return 1;
  }
  const ParsedTileGrid parsed = parseTileGrid(address);
  if (!parsed.grid) {
    std::fputs("the address names no tiles: no {x:A..B} or {y:A..B}\n", stderr);
    return 1;
  }
  const std::string due =
      expandDatedAddress(address, std::time(nullptr), systemUtcOffsetAt, 1).addresses.front();
  std::printf("%d x %d tiles\n", parsed.grid->columns(), parsed.grid->rows());
  for (int row = 0; row < parsed.grid->rows(); ++row) {
    for (int column = 0; column < parsed.grid->columns(); ++column) {
      const std::string tile = tileAddress(due, *parsed.grid, column, row);
      const std::optional<std::string> usable = usablePictureAddress(tile);
      if (!usable) {
        std::fprintf(stderr, "not a usable URL: %s\n", displaySafe(tile, 400).c_str());
        return 1;
      }
      std::printf("%s\n", usable->c_str());
    }
  }
  return 0;
}

const char* kindName(tessaren::DocumentKind kind) {
  switch (kind) {
    case tessaren::DocumentKind::Picture:
      return "picture";
    case tessaren::DocumentKind::Feed:
      return "feed";
    case tessaren::DocumentKind::Json:
      return "JSON document";
    default:
      return "HTML page";
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tessaren;
  std::string file, base, pointer, contentType;
  if (argc == 3 && std::string(argv[1]) == "--grid") return printGrid(argv[2]);
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    std::string* option = argument == "--base"           ? &base
                          : argument == "--pointer"      ? &pointer
                          : argument == "--content-type" ? &contentType
                                                         : nullptr;
    if (option != nullptr && i + 1 < argc) {
      *option = argv[++i];
    } else if (option == nullptr && file.empty() && !argument.starts_with("--")) {
      file = argument;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (file.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (file.starts_with("http://") || file.starts_with("https://")) {
    std::fprintf(stderr,
                 "tessaren-find reads saved files only: save it first (curl -o page %s) and "
                 "give its address with --base\n",
                 file.c_str());
    return 2;
  }

  const OwnedFile in(std::fopen(file.c_str(), "rb"));
  if (!in) {
    std::fprintf(stderr, "can't open %s: %s\n", file.c_str(), std::strerror(errno));
    return 1;
  }
  // One byte beyond the limit is enough to know a document is too large.
  std::string document(kMaxDocumentBytes + 1, '\0');
  document.resize(std::fread(document.data(), 1, document.size(), in.get()));

  const bool guessedBase = base.empty();
  if (guessedBase) base = "file://" + std::filesystem::absolute(file).generic_string();
  FindResult found = findPicture(document, contentType, base, pointer);
  if (!found.failure && found.kind != DocumentKind::Picture) {
    NetworkScope scope;
    scope.check({Hop::Origin::Typed, base, "", {}});
    const char* namedBy = found.kind == DocumentKind::Feed   ? "feed"
                          : found.kind == DocumentKind::Json ? "document"
                                                             : "page";
    found.failure = scope.check({Hop::Origin::Document, found.address, namedBy, {}});
  }
  if (found.failure) {
    std::fprintf(stderr, "%s: %s\n", kindName(found.kind),
                 displaySafe(found.failure->detail, 400).c_str());
    if (guessedBase && found.failure->kind == FailureKind::UnusableAddress)
      std::fputs("(relative addresses need the document's own address: --base URL)\n", stderr);
    return 1;
  }
  std::printf("%s\nfrom: %s (%s)\n", displaySafe(found.address, 2100).c_str(),
              displaySafe(found.source, 200).c_str(), kindName(found.kind));
  return 0;
}
