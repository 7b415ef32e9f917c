// Checking the Properties fields.
#include "app/properties_form.h"

#include "download/url.h"
#include "platform/text.h"
#include "source/dated_address.h"
#include "source/find_picture.h"

namespace tessaren {
namespace {

CheckedFields refuse(PropertiesField field, std::string message) {
  return CheckedFields{std::nullopt, FieldProblem{field, std::move(message)}};
}

}  // namespace

PropertiesFields fieldsFor(const Settings& settings) {
  return PropertiesFields{settings.url,
                          settings.folder,
                          std::to_string(settings.interval),
                          static_cast<std::int32_t>(settings.display),
                          settings.updateOnMetered,
                          settings.pointer};
}

CheckedFields checkFields(const PropertiesFields& fields, const Settings& loaded, Files& files,
                          std::time_t now) {
  Settings settings = loaded;
  settings.url = trimmed(fields.url);
  // Each refusal is one sentence, in the voice of Check's answers: what the field must be,
  // with an example where one helps.
  if (auto problem = checkTemplateSyntax(settings.url))
    return refuse(PropertiesField::Url, "The URL can't be used: " + problem->detail + ".");
  const DatedAddresses first = expandDatedAddress(settings.url, now, systemUtcOffsetAt, 1);
  if (first.addresses.empty() || !usablePictureAddress(first.addresses.front()))
    return refuse(PropertiesField::Url,
                  "The URL must be the http:// or https:// address of a picture, page, feed or "
                  "JSON document, such as https://example.com/picture.jpg.");
  settings.pointer = trimmed(fields.pointer);
  if (auto rule = jsonPointerRuleBroken(settings.pointer))
    return refuse(PropertiesField::Pointer,
                  "\u201cPicture at\u201d " + *rule +
                      (settings.pointer.front() == '/' ? "." : ", such as /images/0/url."));

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
  return CheckedFields{settings, std::nullopt};
}

}  // namespace tessaren
