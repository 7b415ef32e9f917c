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
// The wallpaper BMP takes turns between two names. Windows shows a converted copy of the
// wallpaper, and setting the path it shows once more is not documented to read the file
// again: each new wallpaper is set under the name that is not on the desktop.
inline const std::string kOtherBitmapFileName = "tessaren-2.bmp";
// Which of the two is on the desktop, given the wallpaper's path (tessaren.bmp when the
// wallpaper is neither), and which the next wallpaper is written under.
std::string shownBitmapName(const std::string& folder, const std::string& wallpaper);
std::string nextBitmapName(const std::string& folder, const std::string& wallpaper);
// The other name of the two.
std::string otherBitmapName(const std::string& name);
// An update's (or a Check's) own files: "tessaren-9c0e77d41b5f28a3.jpg.part".
inline const std::string kTemporaryPrefix = "tessaren-";
inline const std::string kTemporarySuffix = ".part";

// The picture of a monitor's own source, kept as it came: "tessaren-monitor-1a2b3c4d.jpg",
// named after the monitor's key so that it stays the same from start to start.
inline const std::string kMonitorPicturePrefix = "tessaren-monitor-";
inline const std::string kMonitorPictureSuffix = ".jpg";
std::string monitorPictureFileName(const std::string& monitor);

// A new name for one of an update's own files: 64 random bits, so that nobody can tell the
// next one in advance (a link planted under it would be written through), and no two
// updates or Checks share one (each file is made new, so a clash fails rather than mixes):
// "tessaren-9c0e77d41b5f28a3.jpg.part". Each call gives another name.
std::string temporaryFileName(const std::string& finalName);
// What temporaryFileName makes an update's copy of tile number index from: "tile.11"
// gives "tessaren-<random>.11.part" (hexadecimal: up to tile 0xfff no longer than the
// picture's).
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
