// Checking the Properties fields.
#include "app/properties_form.h"

#include "download/url.h"
#include "platform/text.h"
#include "source/dated_address.h"
#include "source/find_picture.h"
#include "source/tile_grid.h"

namespace tessaren {
namespace {

CheckedFields refuse(PropertiesField field, std::string message, std::string monitor = "") {
  return CheckedFields{std::nullopt, FieldProblem{field, std::move(message), std::move(monitor)}};
}

// The URL and "Picture at" of one source, trimmed into url and pointer, or why they can't be:
// each refusal one sentence, in the voice of Check's answers, with an example where one helps.
std::optional<FieldProblem> checkSource(const std::string& urlField,
                                        const std::string& pointerField, std::time_t now,
                                        std::string& url, std::string& pointer) {
  url = trimmed(urlField);
  if (auto problem = checkTemplateSyntax(url))
    return FieldProblem{PropertiesField::Url, "The URL can't be used: " + problem->detail + "."};
  const DatedAddresses first = expandDatedAddress(url, now, systemUtcOffsetAt, 1);
  // A picture in tiles: its first tile's address stands for all of them.
  const std::optional<TileGrid> grid = parseTileGrid(url).grid;
  if (first.addresses.empty() ||
      !usablePictureAddress(grid ? tileAddress(first.addresses.front(), *grid, 0, 0)
                                 : first.addresses.front()))
    return FieldProblem{PropertiesField::Url,
                        "The URL must be the http:// or https:// address of a picture, page, "
                        "feed or JSON document, such as https://example.com/picture.jpg."};
  pointer = trimmed(pointerField);
  if (auto rule = jsonPointerRuleBroken(pointer))
    return FieldProblem{PropertiesField::Pointer,
                        "\u201cPicture at\u201d " + *rule +
                            (pointer.front() == '/' ? "." : ", such as /images/0/url.")};
  return std::nullopt;
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
  PropertiesFields fields{settings.url,
                          settings.folder,
                          std::to_string(settings.interval),
                          static_cast<std::int32_t>(settings.display),
                          settings.updateOnMetered,
                          settings.pointer,
                          {},
                          std::to_string(settings.historyPictures),
                          std::to_string(settings.historyMegabytes)};
  for (const auto& [monitor, source] : settings.monitorSources)
    fields.monitorSources[monitor] = {source.url, source.pointer,
                                      static_cast<std::int32_t>(source.display)};
  return fields;
}

CheckedFields checkFields(const PropertiesFields& fields, const Settings& loaded, Files& files,
                          std::time_t now) {
  Settings settings = loaded;
  if (auto problem = checkSource(fields.url, fields.pointer, now, settings.url, settings.pointer))
    return {std::nullopt, problem};
  settings.monitorSources.clear();
  for (const auto& [monitor, own] : fields.monitorSources) {
    MonitorSource& source = settings.monitorSources[monitor];
    if (auto problem = checkSource(own.url, own.pointer, now, source.url, source.pointer)) {
      problem->monitor = monitor;
      return {std::nullopt, problem};
    }
    const std::optional<DisplayMode> display = displayModeFromNumber(own.display);
    if (!display || !monitorDisplayMode(*display))
      return refuse(PropertiesField::Display,
                    "A monitor's own picture is placed by Fit, Fill, Center or Stretch.", monitor);
    source.display = *display;
  }

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
    return refuse(PropertiesField::Folder, "The folder can't be used: " + *problem + ".");
  if (auto problem = files.makeFolder(settings.folder))
    return refuse(PropertiesField::Folder, "The folder can't be used: " + problem->detail + ".");
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
