// One update on the worker thread.
#include "update/update_job.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "download/url_parser.h"
#include "imaging/conversion.h"
#include "imaging/wallpaper.h"
#include "platform/text.h"

namespace tessaren {
namespace {

std::string unusableUrlReason(const std::string& url) {
  // Long enough to recognise, short enough for the tip and one log line.
  const std::string shown = displaySafe(trimmed(url), 60);
  return "not a usable URL: " + (shown.empty() ? std::string("(empty)") : shown);
}

class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A BMP file of this update's that is deleted on every way out unless the commit moved it.
class TemporaryBitmap {
 public:
  TemporaryBitmap(Files& files, std::string path) : files_(files), path_(std::move(path)) {}
  ~TemporaryBitmap() {
    if (!kept_) files_.remove(path_);
  }
  TemporaryBitmap(const TemporaryBitmap&) = delete;
  TemporaryBitmap& operator=(const TemporaryBitmap&) = delete;
  const std::string& path() const { return path_; }
  void kept() { kept_ = true; }

 private:
  Files& files_;
  std::string path_;
  bool kept_ = false;
};

class Update {
 public:
  Update(const UpdateRequest& request, UpdateServices& services, CancelToken& cancel)
      : request_(request), settings_(request.settings), services_(services), cancel_(cancel) {}

  UpdateOutcome run() {
    UrlParts parts;
    if (!parseUrl(settings_.url, parts))
      return failed({FailureKind::UnusableAddress, unusableUrlReason(settings_.url)});
    outcome_.host = parts.serverName;
    // As sent: escaped, without the fragment, the port only where it is not the scheme's.
    const bool defaultPort = parts.port == (parts.secure ? 443u : 80u);
    url_ = parts.secure ? "https://" : "http://";
    url_ += parts.serverName;
    if (!defaultPort) url_.append(1, ':').append(std::to_string(parts.port));
    url_ += parts.objectPath;

    const std::string& folder = settings_.folder;
    if (auto problem = folderProblem(folder))
      return failed({FailureKind::UnusableFolder, *problem});
    if (auto problem = services_.files.makeFolder(folder)) return failed(*problem);
    if (request_.clearLeftovers) {
      for (const std::string& name :
           services_.files.list(folder, kTemporaryPrefix, kTemporarySuffix))
        services_.files.remove(folder + name);
    }
    picturePath_ = folder + kPictureFileName;
    bitmapPath_ = folder + kBitmapFileName;
    if (drawnForTheMonitors(settings_.display)) layout_ = services_.desktop.monitorLayout();
    remembered_ = request_.applied;
    remembered_.url = settings_.url;
    remembered_.display = settings_.display;
    remembered_.known = true;
    remembered_.layout = layout_;

    if (request_.redrawOnly) {
      if (!services_.files.exists(picturePath_))
        return failed({FailureKind::CannotWrite,
                       "no picture kept in " + displaySafe(folder, 120) + " to draw again"});
      return redraw();
    }
    return download();
  }

 private:
  UpdateOutcome download() {
    // Ask whether the picture changed only when we still hold the one it would be.
    FetchRequest fetch{url_, {}, services_.limits};
    if (request_.applied.url == settings_.url && services_.files.exists(picturePath_))
      fetch.ask = request_.applied.validators;
    if (cancel_.stopped()) return failed(cancelledFailure());
    reach(UpdateStep::Downloading);
    Failure why;
    std::unique_ptr<OutputFile> body = services_.files.create(
        settings_.folder + temporaryFileName(request_.id, kPictureFileName), why);
    if (!body) return failed(why);
    const FetchResult fetched = services_.fetcher.fetchToFile(fetch, *body, cancel_);
    if (fetched.failure) {
      if (fetched.failure->kind != FailureKind::NotModified) return failed(*fetched.failure);
      if (!needsRedraw()) return unchanged("not modified");
      body.reset();
      return redraw();
    }
    outcome_.bytes = fetched.bytes;
    remembered_.validators = fetched.validators;
    if (!needsRedraw() && sameContents(body->path(), picturePath_))
      return unchanged("same picture");
    return drawAndCommit(body->path(), body.get(), fetched.contentType);
  }

  UpdateOutcome redraw() {
    outcome_.detail = "redrawn";
    return drawAndCommit(picturePath_, nullptr, "");
  }

  // Draws picturePath into a BMP of this update's own; then, one update at a time and
  // never after a cancel, makes it the wallpaper and the downloaded body tessaren.jpg.
  UpdateOutcome drawAndCommit(const std::string& picturePath, OutputFile* body,
                              const std::string& contentType) {
    if (cancel_.stopped()) return failed(cancelledFailure());
    reach(UpdateStep::Drawing);
    const bool spanned = services_.desktop.spanSupported();
    ConversionRequest conversion;
    conversion.stop = &cancel_.flag();
    conversion.shownPath = bitmapPath_;
    conversion.freeBytes = services_.files.freeBytes(settings_.folder);
    if (drawnForTheMonitors(settings_.display)) {
      conversion.fit = settings_.display == DisplayMode::Fit    ? FitMode::Fit
                       : settings_.display == DisplayMode::Fill ? FitMode::Fill
                                                                : FitMode::Span;
      conversion.monitors = services_.desktop.monitors();
      conversion.tiled = !spanned;
    }
    TemporaryBitmap bitmap(services_.files,
                           settings_.folder + temporaryFileName(request_.id, kBitmapFileName));
    const ConversionResult converted = convertJpegToBitmap(picturePath, bitmap.path(), conversion);
    outcome_.width = converted.width;
    outcome_.height = converted.height;
    outcome_.format = "JPEG";
    if (!converted.written) return failed(conversionFailure(converted.reason, contentType));

    reach(UpdateStep::Committing);
    const std::unique_lock<std::mutex> committing = services_.commits.enter();
    // An update that was given up while it drew must leave the desktop to the one that
    // replaced it.
    if (cancel_.stopped()) return failed(cancelledFailure());
    if (auto problem = services_.files.replace(bitmap.path(), bitmapPath_)) return failed(*problem);
    bitmap.kept();
    if (auto problem = applyWallpaper(services_.store, services_.desktop, bitmapPath_,
                                      settings_.display, spanned))
      return failed(*problem);
    outcome_.commit = services_.commits.next();
    // The body takes the picture's name only once it has become the wallpaper, so that
    // tessaren.jpg always holds the last picture shown. The wallpaper has changed whether
    // or not that succeeds; without it the validators describe no file we hold.
    if (body != nullptr) {
      remembered_.appliedAt = request_.startedAt;
      if (!body->moveOver(picturePath_)) remembered_.validators = {};
    }
    outcome_.kind = OutcomeKind::Updated;
    outcome_.applied = remembered_;
    outcome_.seconds = stopwatch_.seconds();
    return outcome_;
  }

  // The picture on the desktop must be drawn again even when the bytes are the same: the
  // display mode or the monitors changed since, or the BMP file is gone.
  bool needsRedraw() const {
    return !request_.applied.known || request_.applied.display != settings_.display ||
           (drawnForTheMonitors(settings_.display) && request_.applied.layout != layout_) ||
           !services_.files.exists(bitmapPath_);
  }

  Failure conversionFailure(const std::string& reason, const std::string& contentType) const {
    if (reason == "cancelled") return cancelledFailure();
    if (reason.rfind("not a JPEG", 0) == 0) {
      std::string detail = reason;
      if (!contentType.empty() && contentType.rfind("image/", 0) != 0)
        detail += " (" + displaySafe(contentType, 60) + ")";
      return {FailureKind::NotAPicture, detail};
    }
    if (reason.find("disk full") != std::string::npos) return {FailureKind::DiskFull, reason};
    return {FailureKind::BrokenPicture, reason};
  }

  UpdateOutcome unchanged(const char* how) {
    outcome_.kind = OutcomeKind::Unchanged;
    outcome_.detail = how;
    outcome_.seconds = stopwatch_.seconds();
    if (!(remembered_ == request_.applied)) outcome_.applied = remembered_;
    return outcome_;
  }

  UpdateOutcome failed(Failure failure) {
    outcome_.kind = OutcomeKind::Failed;
    outcome_.failure = std::move(failure);
    outcome_.applied.reset();
    outcome_.seconds = stopwatch_.seconds();
    return outcome_;
  }

  void reach(UpdateStep step) {
    if (services_.reached) services_.reached(step);
  }

  const Stopwatch stopwatch_;
  const UpdateRequest& request_;
  const Settings& settings_;
  UpdateServices& services_;
  CancelToken& cancel_;
  std::string url_;
  std::string picturePath_;
  std::string bitmapPath_;
  std::string layout_;
  AppliedPicture remembered_;
  UpdateOutcome outcome_;
};

}  // namespace

UpdateOutcome runUpdate(const UpdateRequest& request, UpdateServices& services,
                        CancelToken& cancel) {
  return Update(request, services, cancel).run();
}

std::string hostOf(const std::string& url) {
  UrlParts parts;
  return parseUrl(url, parts) ? parts.serverName : "";
}

std::string temporaryFileName(std::uint64_t id, const std::string& finalName) {
  char hex[17];
  std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(id & 0xFFFFFFFFu));
  // "tessaren.jpg" becomes "tessaren-1f.jpg.part".
  const std::size_t dot = finalName.find('.');
  return kTemporaryPrefix + hex + finalName.substr(dot) + kTemporarySuffix;
}

void removeOwnFiles(Files& files, const std::string& folder) {
  if (folder.empty() || folder.find_first_of("*?") != std::string::npos) return;
  files.remove(folder + kPictureFileName);
  files.remove(folder + kBitmapFileName);
  for (const std::string& name : files.list(folder, kTemporaryPrefix, kTemporarySuffix))
    files.remove(folder + name);
}

}  // namespace tessaren
