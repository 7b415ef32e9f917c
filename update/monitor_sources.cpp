// Monitors' names and words, and the pictures of a wallpaper drawn from several.
#include "update/monitor_sources.h"

#include <algorithm>

#include "settings/picture_folder.h"

namespace tessaren {
namespace {

std::string sizeText(const Rect& r) {
  return std::to_string(r.width()) + " x " + std::to_string(r.height());
}

// Where a monitor lies beside the primary one; "primary" for it, "" when they overlap.
std::string placeWord(const Monitor& monitor, const Rect& primary) {
  if (monitor.primary) return "primary";
  const Rect& r = monitor.bounds;
  std::string vertical = r.top >= primary.bottom ? "below" : r.bottom <= primary.top ? "above" : "";
  std::string horizontal = r.left >= primary.right   ? "right"
                           : r.right <= primary.left ? "left"
                                                     : "";
  if (vertical.empty()) return horizontal;
  return horizontal.empty() ? vertical : vertical + " " + horizontal;
}

DisplayMode commonMode(DisplayMode mode) {
  switch (mode) {
    case DisplayMode::Tile:
      return DisplayMode::Center;
    case DisplayMode::DesktopSettings:
      return DisplayMode::Fill;
    default:
      return mode;
  }
}

}  // namespace

std::vector<std::string> monitorKeyNames(const Monitor& monitor) {
  std::vector<std::string> names;
  if (!monitor.identity.empty()) names.push_back("EDID " + monitor.identity);
  if (monitor.device.empty()) {
    const Rect& r = monitor.bounds;
    names.push_back("at " + std::to_string(r.left) + "," + std::to_string(r.top) + " " +
                    std::to_string(r.width()) + "x" + std::to_string(r.height()));
  } else {
    names.push_back(monitor.device);
  }
  for (std::string& name : names) std::replace(name.begin(), name.end(), '\\', '/');
  return names;
}

std::string monitorKeyName(const Monitor& monitor,
                           const std::map<std::string, MonitorSource>& sources) {
  const std::vector<std::string> names = monitorKeyNames(monitor);
  for (const std::string& name : names)
    if (sources.contains(name)) return name;
  return names.front();
}

std::map<std::string, MonitorSource> underPreferredNames(
    std::map<std::string, MonitorSource> sources, const std::vector<Monitor>& monitors) {
  for (const Monitor& monitor : monitors) {
    const std::string preferred = monitorKeyNames(monitor).front();
    const std::string kept = monitorKeyName(monitor, sources);
    if (kept == preferred || !sources.contains(kept)) continue;
    auto moved = sources.extract(kept);
    moved.key() = preferred;
    sources.insert(std::move(moved));
  }
  return sources;
}

std::string monitorLabel(std::size_t index, const std::vector<Monitor>& monitors) {
  const Monitor& monitor = monitors.at(index);
  Rect primary = monitors.front().bounds;
  for (const Monitor& m : monitors)
    if (m.primary) primary = m.bounds;
  const std::string place = placeWord(monitor, primary);
  return std::to_string(index + 1) + ": " + (place.empty() ? "" : place + ", ") +
         sizeText(monitor.bounds);
}

std::string monitorsWord(const std::vector<std::size_t>& indexes) {
  std::string numbers;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    if (i > 0) numbers += i + 1 == indexes.size() ? " and " : ", ";
    numbers += std::to_string(indexes[i] + 1);
  }
  return (indexes.size() == 1 ? "monitor " : "monitors ") + numbers;
}

std::vector<PictureSource> picturesFor(const Settings& settings,
                                       const std::vector<Monitor>& monitors) {
  std::vector<PictureSource> pictures;
  PictureSource common{settings.url, settings.pointer, true, kPictureFileName, {}, {}, {}};
  bool anyOwn = false;
  for (std::size_t i = 0; i < monitors.size(); ++i) {
    const std::string key = monitorKeyName(monitors[i], settings.monitorSources);
    const auto own = settings.monitorSources.find(key);
    if (own == settings.monitorSources.end()) {
      common.monitors.push_back(i);
      common.modes.push_back(commonMode(settings.display));
      continue;
    }
    anyOwn = true;
    const MonitorSource& source = own->second;
    if (source.url == settings.url && source.pointer == settings.pointer) {
      common.monitors.push_back(i);
      common.modes.push_back(source.display);
      continue;
    }
    auto same = std::find_if(pictures.begin(), pictures.end(), [&](const PictureSource& p) {
      return p.url == source.url && p.pointer == source.pointer;
    });
    if (same == pictures.end()) {
      pictures.push_back(
          {source.url, source.pointer, false, monitorPictureFileName(key), {}, {}, {}});
      same = pictures.end() - 1;
    }
    same->keys.push_back(key);
    same->monitors.push_back(i);
    same->modes.push_back(source.display);
  }
  if (!anyOwn) return {};
  if (!common.monitors.empty()) pictures.insert(pictures.begin(), std::move(common));
  return pictures;
}

std::string pictureFileAt(const Settings& settings, const std::vector<Monitor>& monitors,
                          std::int32_t x, std::int32_t y) {
  for (const PictureSource& picture : picturesFor(settings, monitors)) {
    for (std::size_t i : picture.monitors) {
      const Rect& r = monitors[i].bounds;
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return picture.fileName;
    }
  }
  return kPictureFileName;
}

std::vector<WallpaperPicture> wallpaperOf(const std::vector<PictureSource>& pictures,
                                          const std::vector<std::string>& files,
                                          const std::vector<Monitor>& monitors) {
  std::vector<WallpaperPicture> set;
  for (std::size_t p = 0; p < pictures.size(); ++p) {
    const PictureSource& picture = pictures[p];
    // One entry per mode: a Span takes all of its monitors at once.
    for (std::size_t i = 0; i < picture.monitors.size(); ++i) {
      auto same = std::find_if(set.begin(), set.end(), [&](const WallpaperPicture& w) {
        return w.picturePath == files[p] && w.mode == picture.modes[i];
      });
      if (same == set.end()) {
        set.push_back({files[p], picture.modes[i], {}});
        same = set.end() - 1;
      }
      same->monitors.push_back(monitors[picture.monitors[i]]);
    }
  }
  return set;
}

std::string setLayout(const std::string& monitorLayout,
                      const std::vector<PictureSource>& pictures) {
  // Appended piece by piece: GCC 12 takes `" " + std::to_string(...)` for an overlapping copy.
  std::string text = monitorLayout;
  for (const PictureSource& picture : pictures) {
    text += '|';
    text += picture.fileName;
    for (std::size_t i = 0; i < picture.monitors.size(); ++i) {
      text += ' ';
      text += std::to_string(picture.monitors[i]);
      text += ':';
      text += std::to_string(static_cast<int>(picture.modes[i]));
    }
  }
  return text;
}

}  // namespace tessaren
