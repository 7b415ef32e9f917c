// Checking the Properties fields.
#include "app/properties_form.h"

#include "download/local_file_api.h"
#include "download/url_parser.h"
#include "platform/text.h"

namespace tessaren {
namespace {

CheckedFields refuse(PropertiesField field, std::string message) {
  return CheckedFields{std::nullopt, FieldProblem{field, std::move(message)}};
}

}  // namespace

PropertiesFields fieldsFor(const Settings& settings) {
  return PropertiesFields{settings.url, settings.temp, std::to_string(settings.interval),
                          settings.display};
}

CheckedFields checkFields(const PropertiesFields& fields, const Settings& loaded) {
  Settings settings = loaded;
  settings.url = trimmed(fields.url);
  UrlParts parts;
  if (!parseUrl(settings.url, parts))
    return refuse(PropertiesField::Url,
                  "This URL can't be used. Enter the http:// or https:// address of a JPEG "
                  "picture, such as https://example.com/picture.jpg.");

  const std::optional<std::int32_t> interval = intervalFromField(fields.interval);
  if (!interval)
    return refuse(PropertiesField::Interval,
                  "The interval must be a whole number of minutes from " +
                      std::to_string(kShortestInterval) + " to " +
                      std::to_string(kLongestInterval) + " (31 days).");
  settings.interval = *interval;

  settings.temp = normaliseDirectory(fields.folder);
  if (settings.temp.empty())
    return refuse(PropertiesField::Folder, "Enter the folder that the pictures are kept in.");
  if (auto problem = directoryProblem(settings.temp))
    return refuse(PropertiesField::Folder, "This folder can't be used: " + *problem + ".");
  if (!localFileApi().createDirectories(settings.temp))
    return refuse(PropertiesField::Folder, "The folder " + settings.temp + " can't be created: " +
                                               localFileApi().lastErrorText() + ".");
  settings.display = fields.display;
  return CheckedFields{settings, std::nullopt};
}

}  // namespace tessaren
