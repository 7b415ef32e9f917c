// Which picture each monitor shows: the name each monitor's own values are kept under, the
// words Properties and the log use for a monitor, and the distinct pictures one update
// fetches when some monitor has a source of its own.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "imaging/conversion.h"
#include "imaging/picture_geometry.h"
#include "settings/settings_store.h"

namespace tessaren {

// The names of the key a monitor's own values may be kept under, the preferred first: what
// identifies the monitor itself ("EDID DEL A0B1 CN0F1234567"), so that its picture follows
// it to another port or dock; then its device interface name with each backslash a slash
// (a key's name holds none), or its place and size where the system names none (Wine):
// "at 1920,0 1080x1920". Never its number alone, which changes with the order of the
// monitors.
std::vector<std::string> monitorKeyNames(const Monitor& monitor);

// The name a monitor's own values are kept under: the first of its names that holds a
// source in `sources` (settings kept before its EDID was read go on working), else the
// preferred one.
std::string monitorKeyName(const Monitor& monitor,
                           const std::map<std::string, MonitorSource>& sources = {});

// The sources with each connected monitor's own moved to its preferred name where it is
// kept under another and that name is free: saved so, it follows the monitor.
std::map<std::string, MonitorSource> underPreferredNames(
    std::map<std::string, MonitorSource> sources, const std::vector<Monitor>& monitors);

// "2: right, 1080 x 1920": the monitor's number in the system's order, where it is from
// the primary monitor ("primary", "left", "above right" ...), and its size.
std::string monitorLabel(std::size_t index, const std::vector<Monitor>& monitors);

// "monitor 2", "monitors 1 and 3", "monitors 1, 2 and 4" (numbers from 0-based indexes).
std::string monitorsWord(const std::vector<std::size_t>& indexes);

// One picture an update fetches, and the monitors that show it.
struct PictureSource {
  std::string url;
  std::string pointer;
  bool common = false;   // the settings' own address: tessaren.jpg and the Config record
  std::string fileName;  // where it is kept as it came, in the picture folder
  // The monitors with a source of their own that show it, by key name: their records are
  // its record. The first names its file.
  std::vector<std::string> keys;
  std::vector<std::size_t> monitors;  // indexes into the monitor list, in order
  std::vector<DisplayMode> modes;     // one for each of monitors
  bool operator==(const PictureSource&) const = default;
};

// The pictures an update fetches: none when no connected monitor has a source of its own
// (the one picture, drawn as always); otherwise the common picture first, when a monitor
// shows it, then one for each other address. A monitor whose own source is the common
// address shares its download. The common picture is placed in the settings' mode where a
// monitor can have it, Tile as Center and the desktop's own settings as Fill.
std::vector<PictureSource> picturesFor(const Settings& settings,
                                       const std::vector<Monitor>& monitors);

// The file in the picture folder that holds the picture shown at x, y (virtual-screen
// pixels): a monitor's own, or tessaren.jpg (also off every monitor).
std::string pictureFileAt(const Settings& settings, const std::vector<Monitor>& monitors,
                          std::int32_t x, std::int32_t y);

// The wallpaper of a set: picture i's file (files[i], a full path) on its monitors.
std::vector<WallpaperPicture> wallpaperOf(const std::vector<PictureSource>& pictures,
                                          const std::vector<std::string>& files,
                                          const std::vector<Monitor>& monitors);

// What the set was drawn from, as one text beside the monitors' layout: another text means
// the wallpaper must be drawn again even when no picture changed.
std::string setLayout(const std::string& monitorLayout, const std::vector<PictureSource>& pictures);

}  // namespace tessaren
