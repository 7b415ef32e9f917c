// Checking the Properties fields.
#include "app/properties_form.h"

#include "download/url.h"
#include "platform/text.h"
#include "source/dated_address.h"
#include "source/find_picture.h"
#include "source/tile_grid.h"

namespace tessaren {
namespace {

CheckedFields refuse(PropertiesField field, std::string message) {
  return CheckedFields{std::nullopt, FieldProblem{field, std::move(message)}};
}

}  // namespace

std::optional<std::uint32_t> wholeNumberFromField(const std::string& text, std::uint32_t most) {
  const std::string digits = trimmed(text);
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  std::uint32_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (number > most) return std::nullopt;
  return number;
}

PropertiesFields fieldsFor(const Settings& settings) {
  return PropertiesFields{settings.url,
                          settings.folder,
                          std::to_string(settings.interval),
                          static_cast<std::int32_t>(settings.display),
                          settings.updateOnMetered,
                          settings.pointer,
                          std::to_string(settings.historyPictures),
                          std::to_string(settings.historyMegabytes)};
}

CheckedFields checkFields(const PropertiesFields& fields, const Settings& loaded, Files& files,
                          std::time_t now) {
  Settings settings = loaded;
  settings.url = trimmed(fields.url);
  if (auto problem = checkTemplateSyntax(settings.url))
    return refuse(PropertiesField::Url, "This URL can't be used: " + problem->detail + ".");
  const DatedAddresses first = expandDatedAddress(settings.url, now, systemUtcOffsetAt, 1);
  // A picture in tiles: its first tile's address stands for all of them.
  const std::optional<TileGrid> grid = parseTileGrid(settings.url).grid;
  if (first.addresses.empty() ||
      !usablePictureAddress(grid ? tileAddress(first.addresses.front(), *grid, 0, 0)
                                 : first.addresses.front()))
    return refuse(PropertiesField::Url,
                  "This URL can't be used. Enter the http:// or https:// address of a "
                  "picture, or of a page, feed or JSON document that names one, such as "
                  "https://example.com/picture.jpg.");
  settings.pointer = trimmed(fields.pointer);
  if (auto problem = checkJsonPointerSyntax(settings.pointer))
    return refuse(PropertiesField::Pointer, "This can't be used: " + problem->detail + ".");

  const std::optional<std::int32_t> interval = intervalFromField(fields.interval);
  if (!interval)
    return refuse(PropertiesField::Interval,
                  "The interval must be a whole number of minutes from " +
                      std::to_string(kShortestInterval) + " to " +
                      std::to_string(kLongestInterval) + " (31 days).");
  settings.interval = *interval;

  settings.folder = normaliseFolder(fields.folder);
  if (settings.folder.empty())
    return refuse(PropertiesField::Folder, "Enter the folder that the pictures are kept in.");
  if (auto problem = folderProblem(settings.folder))
    return refuse(PropertiesField::Folder, "This folder can't be used: " + *problem + ".");
  if (auto problem = files.makeFolder(settings.folder))
    return refuse(PropertiesField::Folder, "This folder can't be used: " + problem->detail + ".");
  const std::optional<DisplayMode> display = displayModeFromNumber(fields.display);
  if (!display) return refuse(PropertiesField::Display, "Choose how the picture is placed.");
  settings.display = *display;
  settings.updateOnMetered = fields.updateOnMetered;

  const std::optional<std::uint32_t> pictures =
      wholeNumberFromField(fields.historyPictures, kMostHistoryPictures);
  if (!pictures)
    return refuse(PropertiesField::HistoryPictures,
                  "The history keeps a whole number of pictures from 0 (none) to " +
                      std::to_string(kMostHistoryPictures) + ".");
  settings.historyPictures = *pictures;
  const std::optional<std::uint32_t> megabytes =
      wholeNumberFromField(fields.historyMegabytes, kMostHistoryMegabytes);
  if (!megabytes)
    return refuse(PropertiesField::HistoryMegabytes,
                  "The history's size is a whole number of megabytes from 0 (none) to " +
                      std::to_string(kMostHistoryMegabytes) + ".");
  settings.historyMegabytes = *megabytes;
  return CheckedFields{settings, std::nullopt};
}

}  // namespace tessaren
