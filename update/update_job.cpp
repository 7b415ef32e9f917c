// One update on the worker thread.
#include "update/update_job.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "download/download_target.h"
#include "download/fetch.h"
#include "download/local_file_api.h"
#include "download/partial_file.h"
#include "imaging/wallpaper.h"

namespace tessaren {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

// Byte for byte the same files; a file that can't be read is never the same.
bool sameContents(const std::string& first, const std::string& second) {
  ScopedFile a(std::fopen(first.c_str(), "rb"));
  ScopedFile b(std::fopen(second.c_str(), "rb"));
  if (!a || !b) return false;
  static constexpr std::size_t kChunk = 64 * 1024;
  auto bufferA = std::make_unique<char[]>(kChunk);
  auto bufferB = std::make_unique<char[]>(kChunk);
  for (;;) {
    const std::size_t readA = std::fread(bufferA.get(), 1, kChunk, a.get());
    const std::size_t readB = std::fread(bufferB.get(), 1, kChunk, b.get());
    if (readA != readB || std::memcmp(bufferA.get(), bufferB.get(), readA) != 0) return false;
    if (readA < kChunk) return std::ferror(a.get()) == 0 && std::ferror(b.get()) == 0;
  }
}

// The conversion checks the stop flag between bands of rows: Exit and Save do not wait
// for a large picture to be decoded to its end.
ApplyResult applyToDesktop(const std::string& jpegPath, const std::string& bmpPath,
                           std::int32_t displayMode, const CancelToken& cancel) {
  return convertAndApply(jpegPath, bmpPath, displayMode, &cancel.flag());
}

class Stopwatch {
 public:
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The picture on the desktop must be drawn again even when the bytes are the same: the
// display mode changed since, or the BMP file is gone.
bool needsRedraw(const UpdateRequest& request, const DownloadTarget& target) {
  return request.applied.display != request.settings.display ||
         !localFileApi().exists(target.bmpPath);
}

}  // namespace

UpdateOutcome runUpdate(const UpdateRequest& request, CancelToken& cancel) {
  const Stopwatch stopwatch;
  const Settings& settings = request.settings;
  const std::optional<DownloadTarget> found = deriveTarget(settings);
  if (!found) return failedOutcome("", unusableUrlReason(settings.url));
  const DownloadTarget& target = *found;
  const std::string& host = target.serverName;

  if (auto problem = directoryProblem(target.tempDir))
    return failedOutcome(host, "can't use the folder " + target.tempDir + ": " + *problem);
  if (!localFileApi().createDirectories(target.tempDir))
    return failedOutcome(
        host, "can't create the folder " + target.tempDir + ": " + localFileApi().lastErrorText());

  UpdateOutcome outcome;
  outcome.host = host;
  AppliedPicture remembered = request.applied;
  remembered.url = settings.url;
  remembered.display = settings.display;
  // bytes is the new picture's size; 0 when the kept picture was drawn again.
  auto finish = [&](const ApplyResult& applied, std::uint64_t bytes) {
    if (!applied.applied) return failedOutcome(host, applied.reason);
    outcome.kind = OutcomeKind::Updated;
    outcome.width = applied.width;
    outcome.height = applied.height;
    outcome.bytes = bytes;
    if (bytes > 0) remembered.appliedAt = request.startedAt;
    outcome.applied = remembered;
    outcome.seconds = stopwatch.seconds();
    return outcome;
  };
  auto unchanged = [&](const char* how) {
    outcome.kind = OutcomeKind::Unchanged;
    outcome.detail = how;
    outcome.seconds = stopwatch.seconds();
    if (!(remembered == request.applied)) outcome.applied = remembered;
    return outcome;
  };

  if (request.redrawOnly) {
    if (!localFileApi().exists(target.jpegPath))
      return failedOutcome(host, "no picture kept in " + target.tempDir + " to draw again");
    outcome.detail = "redrawn";
    return finish(applyToDesktop(target.jpegPath, target.bmpPath, settings.display, cancel), 0);
  }

  // Ask whether the picture changed only when we still hold the one it would be.
  Validators ask;
  if (request.applied.url == settings.url && localFileApi().exists(target.jpegPath))
    ask = Validators{request.applied.etag, request.applied.lastModified};
  PartialFile part(partialDownloadPath(target.jpegPath));
  const FetchResult fetched = fetchPicture(target, ask, part, cancel);
  switch (fetched.status) {
    case FetchStatus::Cancelled:
      return failedOutcome(host, kCancelledReason);
    case FetchStatus::Failed:
      return failedOutcome(host, fetched.reason);
    case FetchStatus::NotModified:
      if (!needsRedraw(request, target)) return unchanged("not modified");
      outcome.detail = "redrawn";
      return finish(applyToDesktop(target.jpegPath, target.bmpPath, settings.display, cancel), 0);
    case FetchStatus::Downloaded:
      break;
  }
  remembered.etag = fetched.validators.etag;
  remembered.lastModified = fetched.validators.lastModified;
  if (sameContents(part.path(), target.jpegPath) && !needsRedraw(request, target)) {
    part.discard();
    return unchanged("same picture");
  }
  ApplyResult applied = applyToDesktop(part.path(), target.bmpPath, settings.display, cancel);
  // "not a JPEG picture (text/html)": a page in place of the picture says what it was.
  if (!applied.applied && applied.reason.rfind("not a JPEG", 0) == 0 &&
      !fetched.contentType.empty() && fetched.contentType.rfind("image/", 0) != 0)
    applied.reason += " (" + fetched.contentType + ")";
  if (applied.applied) {
    // The body takes the JPEG file's name only once it has become the wallpaper, so that
    // tessaren.jpg always holds the last picture that was shown, never a page or a stub.
    // The wallpaper has changed whether or not the move succeeds.
    part.moveOver(target.jpegPath);
  }
  return finish(applied, fetched.bytes);
}

}  // namespace tessaren
