// The picture folder: what a stored folder must be to be used, and the names of the files
// Tessaren keeps in it. The folder's length limit is taken from the longest name made
// here, so that every file Tessaren writes fits the Windows path limit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaren {

inline const std::string kPictureFileName = "tessaren.jpg";  // whatever the format
inline const std::string kBitmapFileName = "tessaren.bmp";
// An update's (or a Check's) own files: "tessaren-1f.jpg.part", "tessaren-1f.bmp.part".
inline const std::string kTemporaryPrefix = "tessaren-";
inline const std::string kTemporarySuffix = ".part";

// The name of one of an update's own files, made from its whole id, so that no two
// updates or Checks ever share one: "tessaren-1f.jpg.part".
std::string temporaryFileName(std::uint64_t id, const std::string& finalName);
// What temporaryFileName makes an update's copy of tile number index from: "tile.11"
// gives "tessaren-1f.11.part" (hexadecimal: up to tile 0xfff no longer than the picture's).
std::string tileFileName(std::size_t index);
inline constexpr std::size_t kLongestTileNumber = 0xfff;

// A picture folder as the program uses it: trimmed and ending in a backslash (a forward
// slash counts), so that the file names land inside it. An empty text stays empty.
std::string normaliseFolder(const std::string& text);
// Why files could not be kept in this (normalised) folder, or nothing: it must be a full
// path ("C:\..." or "\\server\share\..."; the working folder changes from start to start),
// and the path of every file Tessaren makes in it must fit the Windows path limit of 259
// characters.
std::optional<std::string> folderProblem(const std::string& folder);

}  // namespace tessaren
