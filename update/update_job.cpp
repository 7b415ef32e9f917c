// One update on the worker thread.
#include "update/update_job.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "download/fetch_all.h"
#include "download/url.h"
#include "imaging/conversion.h"
#include "imaging/picture_decoder.h"
#include "imaging/wallpaper.h"
#include "platform/handles.h"
#include "platform/text.h"
#include "source/dated_address.h"
#include "source/find_picture.h"
#include "source/network_scope.h"
#include "source/tile_grid.h"
#include "update/history.h"
#include "update/monitor_sources.h"

namespace tessaren {
namespace {

// The first count bytes of a file (all of a shorter one).
std::string leadingBytes(const std::string& path, std::uint64_t count) {
  const OwnedFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return "";
  std::string bytes(static_cast<std::size_t>(count), '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
  return bytes;
}

// Enough to tell one page from the next (FNV-1a, 64 bits); no secret depends on it.
std::string digestOf(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// The same for a whole file, read a piece at a time; empty when it can't be read.
std::string fileDigest(const std::string& path) {
  const OwnedFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return "";
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::vector<unsigned char> piece(64 * 1024);
  for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), file.get())) > 0;)
    for (std::size_t i = 0; i < got; ++i) hash = (hash ^ piece[i]) * 0x100000001b3ull;
  if (std::ferror(file.get())) return "";
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// One tile of the applied-picture record: what its bytes were and how to ask about them.
struct TileRecord {
  std::string digest;
  Validators validators;
  bool operator==(const TileRecord&) const = default;
};

std::string tileRecordText(const std::vector<TileRecord>& tiles) {
  std::string text;
  for (const TileRecord& tile : tiles)
    text += tile.digest + "\t" + tile.validators.etag + "\t" + tile.validators.lastModified + "\n";
  return text;
}

// The record of count tiles; nothing that can be asked about when it names another number
// of tiles (or is no record at all). Validators hold no tabs or line breaks.
std::vector<TileRecord> tileRecordsOf(const std::string& text, std::size_t count) {
  std::vector<TileRecord> tiles;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string line = text.substr(at, end - at);
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) return {};
    tiles.push_back({line.substr(0, tab1),
                     {keptValidator(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                      keptValidator(line.substr(tab2 + 1))}});
    at = end + 1;
  }
  if (tiles.size() != count) return {};
  return tiles;
}

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
// The picture folder, usable and made, with the leftovers of updates that ended uncleanly
// removed when the request asks for it.
std::optional<Failure> readyFolder(const UpdateRequest& request, Files& files) {
  const std::string& folder = request.settings.folder;
  if (auto problem = folderProblem(folder)) return Failure{FailureKind::UnusableFolder, *problem};
  if (auto problem = files.makeFolder(folder)) return problem;
  if (request.clearLeftovers && !request.checkOnly) {
    for (const std::string& name : files.list(folder, kTemporaryPrefix, kTemporarySuffix))
      files.remove(folder + name);
  }
  return std::nullopt;
}

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

// Inside the commit gate: the drawn BMP becomes the wallpaper under the name that is not on
// the desktop now (picture_folder.h), and the other name's file goes once it has.
std::optional<Failure> commitBitmap(UpdateServices& services, TemporaryBitmap& bitmap,
                                    const std::string& folder, DisplayMode mode, bool spanned) {
  const std::string name = nextBitmapName(folder, services.desktop.wallpaper());
  if (auto problem = services.files.replace(bitmap.path(), folder + name)) return problem;
  bitmap.kept();
  // The desktop keeps the one it shows: a BMP it refused is no one's.
  if (auto problem =
          applyWallpaper(services.store, services.desktop, folder + name, mode, spanned)) {
    services.files.remove(folder + name);
    return problem;
  }
  services.files.remove(folder + otherBitmapName(name));
  return std::nullopt;
}

// One picture of a set, as its download left it: the new picture in a file of the update's
// own, or none when it is unchanged or failed. The set draws and commits it.
struct FetchedPicture {
  std::string fileName;  // where the picture is kept in the folder
  std::unique_ptr<OutputFile> body;
};

class Update {
 public:
  // fetched: only download into it, for a set that draws and commits.
  Update(const UpdateRequest& request, UpdateServices& services, CancelToken& cancel,
         FetchedPicture* fetched = nullptr)
      : request_(request),
        settings_(request.settings),
        services_(services),
        cancel_(cancel),
        fetched_(fetched) {}

  UpdateOutcome run() {
    // The address as typed may be a template of dated addresses: the newest first, then
    // each step earlier.
    if (auto problem = checkTemplateSyntax(settings_.url)) return failed(*problem);
    grid_ = parseTileGrid(settings_.url).grid;
    for (const std::string& expanded :
         isDatedAddress(settings_.url)
             ? expandDatedAddress(settings_.url, request_.startedAt).addresses
             : std::vector<std::string>{settings_.url}) {
      // A grid's address keeps its tile placeholders; its first tile must be usable.
      if (grid_) {
        if (usablePictureAddress(tileAddress(expanded, *grid_, 0, 0)))
          addresses_.push_back(trimmed(expanded));
      } else if (std::optional<std::string> usable = usablePictureAddress(expanded)) {
        addresses_.push_back(*usable);
      }
    }
    if (addresses_.empty())
      return failed({FailureKind::UnusableAddress, unusableUrlReason(settings_.url)});
    outcome_.host = hostOfStep(0);

    const std::string& folder = settings_.folder;
    if (auto problem = readyFolder(request_, services_.files)) return failed(*problem);
    picturePath_ = folder + (fetched_ ? fetched_->fileName : kPictureFileName);
    bitmapPath_ = folder + shownBitmapName(folder, services_.desktop.wallpaper());
    if (drawnForTheMonitors(settings_.display)) layout_ = services_.desktop.monitorLayout();
    remembered_ = request_.applied;
    remembered_.url = settings_.url;
    remembered_.display = settings_.display;
    remembered_.known = true;
    remembered_.layout = layout_;

    if (request_.redrawOnly) {
      const std::string& from = request_.drawFrom.empty() ? folder : request_.drawFrom;
      if (!services_.files.exists(from + kPictureFileName))
        return failed({FailureKind::CannotWrite,
                       "no picture kept in " + displaySafe(from, 120) + " to draw again"});
      if (from == folder) return redraw();
      // The desktop shows another picture than tessaren.jpg: none that the record describes.
      remembered_.known = false;
      outcome_.detail = "from the history";
      return drawAndCommit(from + kPictureFileName, nullptr, "");
    }
    // A dated picture that is not there yet: the step before, and so on.
    for (std::size_t step = 0;; ++step) {
      UpdateOutcome outcome =
          grid_ ? downloadMosaic(addresses_[step], step) : download(addresses_[step], step);
      const bool missing = outcome.failure && outcome.failure->kind == FailureKind::NotFound;
      if (!missing || step + 1 == addresses_.size()) return outcome;
      outcome_ = UpdateOutcome{};
      outcome_.host = hostOfStep(0);
    }
  }

 private:
  // A file of this update's own for a body.
  std::unique_ptr<OutputFile> newBody(Failure& why) {
    return services_.files.create(settings_.folder + temporaryFileName(kPictureFileName), why);
  }

  // namedBy: for a picture a document named, which kind of document ("page"); empty for
  // the address the user typed.
  FetchResult fetch(const std::string& address, const Validators& ask, OutputFile& body,
                    int redirectsUsed, const std::string& namedBy = "") {
    FetchRequest request{address, ask, services_.limits};
    request.limits.maxRedirects = std::max(0, services_.limits.maxRedirects - redirectsUsed);
    request.mayReach = [this, namedBy](const FetchHop& hop) {
      Hop::Origin origin = Hop::Origin::Redirect;
      if (hop.redirectedFrom.empty())
        origin = namedBy.empty() ? Hop::Origin::Typed : Hop::Origin::Document;
      return scope_.check({origin, hop.url,
                           origin == Hop::Origin::Document ? namedBy : hop.redirectedFrom,
                           hop.addresses});
    };
    // A page, feed or document is read whole into memory: it stops at its limit while it
    // downloads, not at a picture's.
    request.limitFor = documentLimitFor;
    return services_.fetcher.fetchToFile(request, body, cancel_);
  }

  std::string hostOfStep(std::size_t step) const {
    return hostOf(grid_ ? tileAddress(addresses_[step], *grid_, 0, 0) : addresses_[step]);
  }

  void noteDatedStep(const std::string& address, std::size_t step) {
    if (isDatedAddress(settings_.url)) {
      outcome_.origin = step == 0 ? "dated address"
                                  : "dated address, " + std::to_string(step) +
                                        (step == 1 ? " step back" : " steps back");
      outcome_.pictureUrl = address;
    }
  }

  // One address: a picture, or a page, feed or document that names one.
  UpdateOutcome download(const std::string& address, std::size_t step) {
    noteDatedStep(address, step);
    static const AppliedPicture kNothingKnown;
    const AppliedPicture& applied = request_.checkOnly ? kNothingKnown : request_.applied;
    const bool holdsPicture = services_.files.exists(picturePath_);
    // Ask whether it changed only about what we hold: the page we read last time, or the
    // picture in tessaren.jpg.
    Validators ask;
    if (applied.url == settings_.url && !applied.pageUrl.empty() && applied.pageUrl == address) {
      ask = applied.pageValidators;
    } else if (applied.pictureUrl == address && holdsPicture) {
      ask = applied.validators;
    }
    if (cancel_.stopped()) return failed(cancelledFailure());
    reach(UpdateStep::Downloading);
    Failure why;
    std::unique_ptr<OutputFile> body = newBody(why);
    if (!body) return failed(why);
    const FetchResult first = fetch(address, ask, *body, 0);
    const bool wasPage = !applied.pageUrl.empty() && applied.pageUrl == address;
    if (first.failure) {
      if (first.failure->kind != FailureKind::NotModified) return failed(*first.failure);
      if (wasPage) remembered_.pageUrl = address;
      return unchangedOrRedrawn(wasPage ? "page not modified" : "not modified");
    }
    const std::string firstBytes = leadingBytes(body->path(), 64 * 1024);
    const DocumentKind kind = classifyDocument(firstBytes, first.contentType);
    if (kind == DocumentKind::Picture) {
      remembered_.pageUrl.clear();
      remembered_.pageValidators = {};
      remembered_.pageDigest.clear();
      return picture(address, std::move(body), first);
    }

    // A page, a feed or a document: read it, find the picture, then fetch that.
    if (auto tooLarge = documentSizeFailure(first.bytes)) return failed(*tooLarge);
    const std::string document = leadingBytes(body->path(), kMaxDocumentBytes);
    body.reset();
    const std::string digest = digestOf(document);
    remembered_.pageUrl = address;
    remembered_.pageValidators = first.validators;
    remembered_.pageDigest = digest;
    if (wasPage && applied.pageDigest == digest) return unchangedOrRedrawn("same page");
    const FindResult found = findPicture(document, first.contentType, first.finalUrl,
                                         settings_.pointer, &cancel_.flag());
    if (found.failure) return failed(*found.failure);
    outcome_.origin = originOf(found);
    outcome_.pictureUrl = found.address;

    const Validators pictureAsk =
        applied.pictureUrl == found.address && holdsPicture ? applied.validators : Validators{};
    if (cancel_.stopped()) return failed(cancelledFailure());
    std::unique_ptr<OutputFile> pictureBody = newBody(why);
    if (!pictureBody) return failed(why);
    const FetchResult second =
        fetch(found.address, pictureAsk, *pictureBody, first.redirects, documentWord(kind));
    if (second.failure) {
      if (second.failure->kind == FailureKind::NotModified) {
        remembered_.pictureUrl = found.address;
        return unchangedOrRedrawn("not modified");
      }
      return failed(namedBy(*second.failure, second.status, kind));
    }
    return picture(found.address, std::move(pictureBody), second);
  }

  // The picture downloaded into body from address.
  UpdateOutcome picture(const std::string& address, std::unique_ptr<OutputFile> body,
                        const FetchResult& fetched) {
    outcome_.bytes = fetched.bytes;
    if (request_.checkOnly) {
      const ConversionResult header = inspectPicture(body->path(), fetched.contentType);
      outcome_.width = header.width;
      outcome_.height = header.height;
      if (header.format) outcome_.format = pictureFormatName(*header.format);
      if (header.failure) return failed(*header.failure);
      outcome_.kind = OutcomeKind::Updated;
      outcome_.pictureUrl = address;
      outcome_.seconds = stopwatch_.seconds();
      return outcome_;
    }
    remembered_.pictureUrl = address;
    outcome_.pictureUrl = address;
    remembered_.validators = fetched.validators;
    remembered_.tiles.clear();
    if (!needsRedraw() && sameContents(body->path(), picturePath_))
      return unchanged("same picture");
    if (fetched_) {
      fetched_->body = std::move(body);
      outcome_.kind = OutcomeKind::Updated;
      outcome_.applied = remembered_;
      outcome_.seconds = stopwatch_.seconds();
      return outcome_;
    }
    return drawAndCommit(body->path(), body.get(), fetched.contentType);
  }

  // --- A picture in tiles: every tile fetched, a few at a time, then drawn as one. ---

  // The tiles of one grid's address: their bodies and what came, by tile number.
  struct TileFetch {
    std::vector<std::string> addresses;
    std::vector<std::unique_ptr<OutputFile>> bodies;
    std::vector<FetchResult> results;
  };

  // Fetches the tiles `which` of fetched, asking each with asks[i]; the first failure (in
  // the tiles' order) names its tile. NotModified is no failure here.
  std::optional<Failure> fetchTiles(TileFetch& fetched, const std::vector<std::size_t>& which,
                                    const std::vector<Validators>& asks) {
    std::vector<FetchJob> jobs;
    for (std::size_t i : which) {
      Failure why;
      fetched.bodies[i].reset();  // a file at the same path goes with its object
      fetched.bodies[i] =
          services_.files.create(settings_.folder + temporaryFileName(tileFileName(i)), why);
      if (!fetched.bodies[i]) return why;
      FetchRequest request{fetched.addresses[i], asks[i], services_.limits};
      request.mayReach = [this](const FetchHop& hop) {
        const std::lock_guard<std::mutex> lock(scopeMutex_);
        return scope_.check(
            {hop.redirectedFrom.empty() ? Hop::Origin::Typed : Hop::Origin::Redirect, hop.url,
             hop.redirectedFrom, hop.addresses});
      };
      request.limitFor = documentLimitFor;
      jobs.push_back({std::move(request), fetched.bodies[i].get()});
    }
    // The tiles together are held to one picture's limit, on the disk as in the download.
    std::uint64_t bytes = 0;
    std::optional<Failure> tooLarge;
    const auto goOn = [&](std::size_t, const FetchResult& result) {
      bytes += result.bytes;
      if (bytes > services_.limits.maxBodyBytes && !tooLarge)
        tooLarge = Failure{
            FailureKind::TooLarge,
            "the tiles are larger than " + formatSize(services_.limits.maxBodyBytes) + " in all"};
      return !tooLarge && (!result.failure || result.failure->kind == FailureKind::NotModified);
    };
    const std::vector<std::optional<FetchResult>> results =
        fetchAll(services_.fetcher, jobs, cancel_, goOn);
    for (std::size_t j = 0; j < which.size(); ++j) {
      const std::size_t i = which[j];
      if (!results[j]) continue;
      fetched.results[i] = *results[j];
      const std::optional<Failure>& failure = results[j]->failure;
      if (!failure || failure->kind == FailureKind::NotModified) continue;
      if (failure->kind == FailureKind::Cancelled || failure->kind == FailureKind::NotAllowed)
        return failure;
      return Failure{failure->kind, nameOfTile(i) + ": " + failure->detail};
    }
    if (cancel_.stopped()) return cancelledFailure();
    return tooLarge;
  }

  std::string nameOfTile(std::size_t index) const {
    const int columns = grid_->columns();
    return tileName(*grid_, int(index) % columns, int(index) / columns);
  }

  // The grid's address of one dated step: every tile, then the whole drawn as one picture.
  UpdateOutcome downloadMosaic(const std::string& address, std::size_t step) {
    noteDatedStep(address, step);
    const std::size_t count = grid_->count();
    TileFetch fetched;
    fetched.bodies.resize(count);
    fetched.results.resize(count);
    for (int row = 0; row < grid_->rows(); ++row) {
      for (int column = 0; column < grid_->columns(); ++column) {
        std::optional<std::string> usable =
            usablePictureAddress(tileAddress(address, *grid_, column, row));
        if (!usable)
          return failed({FailureKind::UnusableAddress,
                         unusableUrlReason(tileAddress(address, *grid_, column, row))});
        fetched.addresses.push_back(std::move(*usable));
      }
    }
    // Each tile is asked about with its own validators, while tessaren.jpg holds the tiles
    // they describe.
    static const AppliedPicture kNothingKnown;
    const AppliedPicture& applied = request_.checkOnly ? kNothingKnown : request_.applied;
    const std::vector<TileRecord> known =
        applied.pictureUrl == address && services_.files.exists(picturePath_)
            ? tileRecordsOf(applied.tiles, count)
            : std::vector<TileRecord>{};
    std::vector<Validators> asks(count);
    for (std::size_t i = 0; i < known.size(); ++i) asks[i] = known[i].validators;
    std::vector<std::size_t> all(count);
    for (std::size_t i = 0; i < count; ++i) all[i] = i;

    if (cancel_.stopped()) return failed(cancelledFailure());
    reach(UpdateStep::Downloading);
    if (auto failure = fetchTiles(fetched, all, asks)) return failed(*failure);
    std::vector<std::size_t> notModified;
    for (std::size_t i = 0; i < count; ++i) {
      if (fetched.results[i].failure) notModified.push_back(i);
    }
    if (notModified.size() == count) {
      remembered_.pictureUrl = address;
      return unchangedOrRedrawn("not modified");
    }
    // Only the picture put together is kept, not its tiles: those that did not change
    // are fetched again, whole.
    if (!notModified.empty()) {
      if (auto failure = fetchTiles(fetched, notModified, std::vector<Validators>(count)))
        return failed(*failure);
    }
    std::vector<TileRecord> tiles(count);
    Mosaic mosaic{grid_->columns(), grid_->rows(), {}, {}};
    for (std::size_t i = 0; i < count; ++i) {
      tiles[i] = {fileDigest(fetched.bodies[i]->path()), fetched.results[i].validators};
      outcome_.bytes += fetched.results[i].bytes;
      mosaic.tiles.push_back(fetched.bodies[i]->path());
      mosaic.names.push_back(nameOfTile(i));
    }
    outcome_.columns = grid_->columns();
    outcome_.rows = grid_->rows();
    outcome_.pictureUrl = address;
    if (request_.checkOnly) {
      const ConversionResult header = inspectMosaic(mosaic, &cancel_.flag());
      outcome_.width = header.width;
      outcome_.height = header.height;
      if (header.format) outcome_.format = pictureFormatName(*header.format);
      if (header.failure) return failed(*header.failure);
      outcome_.kind = OutcomeKind::Updated;
      outcome_.seconds = stopwatch_.seconds();
      return outcome_;
    }
    remembered_.pictureUrl = address;
    remembered_.validators = {};
    remembered_.tiles = tileRecordText(tiles);
    remembered_.pageUrl.clear();
    remembered_.pageValidators = {};
    remembered_.pageDigest.clear();
    const bool sameTiles =
        known.size() == count && std::equal(known.begin(), known.end(), tiles.begin(),
                                            [](const TileRecord& a, const TileRecord& b) {
                                              return !a.digest.empty() && a.digest == b.digest;
                                            });
    if (!needsRedraw() && sameTiles) return unchanged("same picture");
    // The tiles put together, as a PNG, become tessaren.jpg.
    Failure why;
    std::unique_ptr<OutputFile> assembled = newBody(why);
    if (!assembled) return failed(why);
    if (fetched_) return assembleForSet(mosaic, std::move(assembled));
    return drawAndCommit(picturePath_, assembled.get(), "", &mosaic);
  }

  // For a set, which draws and commits its pictures itself: the tiles only put together
  // into the picture kept, drawn at full size into a scratch BMP that goes with it.
  UpdateOutcome assembleForSet(const Mosaic& mosaic, std::unique_ptr<OutputFile> assembled) {
    if (cancel_.stopped()) return failed(cancelledFailure());
    reach(UpdateStep::Drawing);
    ConversionRequest conversion;
    conversion.stop = &cancel_.flag();
    conversion.newFile = true;
    conversion.freeBytes = services_.files.freeBytes(settings_.folder);
    OutputFile* body = assembled.get();
    conversion.assembled = [body](const void* data, std::size_t size) -> std::optional<Failure> {
      if (!body->write(data, size)) return body->failure();
      return std::nullopt;
    };
    const TemporaryBitmap scratch(services_.files,
                                  settings_.folder + temporaryFileName(kBitmapFileName));
    const ConversionResult converted = convertToBitmap(mosaic, scratch.path(), conversion);
    outcome_.width = converted.width;
    outcome_.height = converted.height;
    if (converted.format) outcome_.format = pictureFormatName(*converted.format);
    if (converted.failure) return failed(*converted.failure);
    if (!body->close()) return failed(body->failure());
    fetched_->body = std::move(assembled);
    outcome_.kind = OutcomeKind::Updated;
    outcome_.applied = remembered_;
    outcome_.seconds = stopwatch_.seconds();
    return outcome_;
  }

  UpdateOutcome unchangedOrRedrawn(const char* how) {
    if (!needsRedraw()) return unchanged(how);
    return redraw();
  }

  static std::string documentWord(DocumentKind kind) {
    return kind == DocumentKind::Feed ? "feed" : kind == DocumentKind::Json ? "document" : "page";
  }

  // A failure of the second step says which picture it was: the one the page named.
  static Failure namedBy(Failure failure, std::uint32_t status, DocumentKind kind) {
    const std::string document = documentWord(kind);
    if (failure.kind == FailureKind::NotAllowed) return failure;  // says so itself
    if ((failure.kind == FailureKind::NotFound || failure.kind == FailureKind::HttpStatus) &&
        status != 0) {
      failure.detail =
          "HTTP " + std::to_string(status) + " for the picture named by the " + document;
    } else if (failure.kind != FailureKind::Cancelled) {
      failure.detail += " (the picture named by the " + document + ")";
    }
    return failure;
  }

  static std::string originOf(const FindResult& found) {
    switch (found.kind) {
      case DocumentKind::Feed:
        return "feed item \"" + found.source + "\"";
      case DocumentKind::Json:
        return "JSON " + found.source;
      default:
        return found.source;
    }
  }

  UpdateOutcome redraw() {
    outcome_.detail = "redrawn";
    return drawAndCommit(picturePath_, nullptr, "");
  }

  // Draws picturePath into a BMP of this update's own; then, one update at a time and
  // never after a cancel, makes it the wallpaper and the downloaded body tessaren.jpg.
  // A mosaic is drawn from its tiles, and body is then the picture put together, written
  // as it is drawn.
  UpdateOutcome drawAndCommit(const std::string& picturePath, OutputFile* body,
                              const std::string& contentType, const Mosaic* mosaic = nullptr) {
    if (cancel_.stopped()) return failed(cancelledFailure());
    reach(UpdateStep::Drawing);
    const bool spanned = services_.desktop.spanSupported();
    ConversionRequest conversion;
    conversion.stop = &cancel_.flag();
    conversion.newFile = true;
    conversion.shownPath = bitmapPath_;
    conversion.freeBytes = services_.files.freeBytes(settings_.folder);
    conversion.contentType = contentType;
    if (drawnForTheMonitors(settings_.display)) {
      conversion.drawn = settings_.display;
      conversion.monitors = services_.desktop.monitors();
      conversion.tiled = !spanned;
    }
    TemporaryBitmap bitmap(services_.files, settings_.folder + temporaryFileName(kBitmapFileName));
    if (mosaic != nullptr) {
      conversion.assembled = [body](const void* data, std::size_t size) -> std::optional<Failure> {
        if (!body->write(data, size)) return body->failure();
        return std::nullopt;
      };
    }
    const ConversionResult converted =
        mosaic != nullptr ? convertToBitmap(*mosaic, bitmap.path(), conversion)
                          : convertToBitmap(picturePath, bitmap.path(), conversion);
    outcome_.width = converted.width;
    outcome_.height = converted.height;
    if (converted.format) outcome_.format = pictureFormatName(*converted.format);
    if (converted.failure) return failed(*converted.failure);
    if (mosaic != nullptr && !body->close()) return failed(body->failure());

    reach(UpdateStep::Committing);
    const std::unique_lock<std::mutex> committing = services_.commits.enter();
    // An update that was given up while it drew must leave the desktop to the one that
    // replaced it.
    if (cancel_.stopped()) return failed(cancelledFailure());
    if (auto problem =
            commitBitmap(services_, bitmap, settings_.folder, settings_.display, spanned))
      return failed(*problem);
    outcome_.commit = services_.commits.next();
    // The body takes the picture's name only once it has become the wallpaper, so that
    // tessaren.jpg always holds the last picture shown. When it cannot (another program
    // holds the old one), the wallpaper has changed all the same, but nothing is remembered
    // of a picture no file holds: the update fails, and the next one fetches and draws it
    // again.
    if (body != nullptr) {
      remembered_.appliedAt = request_.startedAt;
      if (!body->moveOver(picturePath_)) return failed(body->failure());
      outcome_.newPicture = true;
    }
    outcome_.kind = OutcomeKind::Updated;
    outcome_.applied = remembered_;
    outcome_.seconds = stopwatch_.seconds();
    return outcome_;
  }

  // The picture on the desktop must be drawn again even when the bytes are the same: the
  // display mode or the monitors changed since, or the BMP file is gone.
  bool needsRedraw() const {
    // A set decides that for all of its pictures.
    if (fetched_) return false;
    return !request_.applied.known || request_.applied.display != settings_.display ||
           (drawnForTheMonitors(settings_.display) && request_.applied.layout != layout_) ||
           !services_.files.exists(bitmapPath_);
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
  std::vector<std::string> addresses_;
  std::optional<TileGrid> grid_;  // the address names a picture in tiles
  std::mutex scopeMutex_;         // tiles are fetched side by side
  NetworkScope scope_;            // where the requests of this update may go
  std::string picturePath_;
  std::string bitmapPath_;
  std::string layout_;
  AppliedPicture remembered_;
  UpdateOutcome outcome_;
  FetchedPicture* const fetched_;
};

// An update of a wallpaper drawn from several pictures: each distinct picture downloaded as
// one update downloads it (two at a time), then the wallpaper drawn once from the new ones
// and, for those unchanged or failed, the ones kept from before; committed as one.
class SetUpdate {
 public:
  SetUpdate(const UpdateRequest& request, UpdateServices& services, CancelToken& cancel,
            std::vector<Monitor> monitors, std::vector<PictureSource> pictures)
      : request_(request),
        services_(services),
        cancel_(cancel),
        monitors_(std::move(monitors)),
        pictures_(std::move(pictures)),
        fetched_(pictures_.size()),
        parts_(pictures_.size()) {}

  UpdateOutcome run() {
    if (auto problem = readyFolder(request_, services_.files)) return failed(*problem);
    layout_ = setLayout(services_.desktop.monitorLayout(), pictures_);
    for (std::size_t i = 0; i < pictures_.size(); ++i) fetched_[i].fileName = pictures_[i].fileName;
    if (request_.redrawOnly) {
      parts_.clear();
      outcome_.detail = request_.drawFrom.empty() ? "redrawn" : "from the history";
      return drawAndCommit();
    }
    fetchAll();
    outcome_.sources = parts_;
    const UpdateOutcome& first = parts_.front();
    outcome_.host = first.host;
    bool changed = false;
    for (const FetchedPicture& picture : fetched_) changed |= picture.body != nullptr;
    if (!changed && !needsRedraw()) return unchanged();
    if (!changed) outcome_.detail = "redrawn";
    return drawAndCommit();
  }

 private:
  // Each picture's download on a token of its own, tied to the update's, two at a time.
  void fetchAll() {
    std::vector<UpdateRequest> requests(pictures_.size(), request_);
    for (std::size_t i = 0; i < pictures_.size(); ++i) {
      const PictureSource& picture = pictures_[i];
      UpdateRequest& request = requests[i];
      // The high byte keeps its id from any update's.
      request.id = request_.id | (std::uint64_t(i + 1) << 56);
      request.settings.url = picture.url;
      request.settings.pointer = picture.pointer;
      request.settings.display = picture.modes.front();
      request.clearLeftovers = false;
      request.monitorsApplied.clear();
      if (!picture.common) {
        const auto record = request_.monitorsApplied.find(picture.keys.front());
        request.applied =
            record != request_.monitorsApplied.end() ? record->second : AppliedPicture{};
      }
    }
    const auto fetchOne = [&](std::size_t i) {
      CancelToken token;
      cancel_.tie(token);
      parts_[i] = Update(requests[i], services_, token, &fetched_[i]).run();
      cancel_.untie(token);
      parts_[i].shownOn = monitorsWord(pictures_[i].monitors);
    };
    for (std::size_t i = 0; i < pictures_.size(); i += 2) {
      std::jthread second;
      if (i + 1 < pictures_.size()) second = std::jthread(fetchOne, i + 1);
      fetchOne(i);
    }
  }

  bool needsRedraw() const {
    return !request_.applied.known || request_.applied.layout != layout_ ||
           !services_.files.exists(shownBitmap());
  }

  // The path each picture is drawn from: the new one, else the one kept (in the history
  // entry shown, when there is one); empty for none.
  std::string drawnFrom(std::size_t i) const {
    if (fetched_[i].body) return fetched_[i].body->path();
    const std::string& folder =
        request_.drawFrom.empty() ? request_.settings.folder : request_.drawFrom;
    const std::string kept = folder + pictures_[i].fileName;
    return services_.files.exists(kept) ? kept : std::string();
  }

  std::string shownBitmap() const {
    const std::string& folder = request_.settings.folder;
    return folder + shownBitmapName(folder, services_.desktop.wallpaper());
  }

  UpdateOutcome drawAndCommit() {
    const std::string& folder = request_.settings.folder;
    const std::string bitmapPath = shownBitmap();
    if (cancel_.stopped()) return failed(cancelledFailure());
    reach(UpdateStep::Drawing);
    const bool spanned = services_.desktop.spanSupported();
    ConversionRequest conversion;
    conversion.stop = &cancel_.flag();
    conversion.newFile = true;
    conversion.shownPath = bitmapPath;
    conversion.freeBytes = services_.files.freeBytes(folder);
    conversion.monitors = monitors_;
    conversion.tiled = !spanned;
    TemporaryBitmap bitmap(services_.files, folder + temporaryFileName(kBitmapFileName));
    // A new picture that cannot be drawn fails alone: its monitors keep the one from before.
    for (;;) {
      std::vector<PictureSource> drawn;
      std::vector<std::string> files;
      std::vector<std::size_t> which;
      for (std::size_t i = 0; i < pictures_.size(); ++i) {
        if (std::string file = drawnFrom(i); !file.empty()) {
          drawn.push_back(pictures_[i]);
          files.push_back(std::move(file));
          which.push_back(i);
        }
      }
      if (drawn.empty()) return failed({FailureKind::CannotWrite, "no picture to draw yet"});
      const std::vector<WallpaperPicture> set = wallpaperOf(drawn, files, monitors_);
      const WallpaperResult result = drawWallpaper(set, bitmap.path(), conversion);
      // Each picture's size and format, from its drawing (the first, where it has two modes).
      for (std::size_t k = 0; k < result.pictures.size() && !parts_.empty(); ++k) {
        const ConversionResult& picture = result.pictures[k];
        for (std::size_t j = 0; j < files.size(); ++j) {
          UpdateOutcome& part = parts_[which[j]];
          if (files[j] != set[k].picturePath || part.width > 0) continue;
          part.width = picture.width;
          part.height = picture.height;
          if (picture.format) part.format = pictureFormatName(*picture.format);
        }
      }
      if (!result.failure) break;
      const std::optional<std::size_t> broken = newPictureThatFailed(result, files, which);
      if (!broken) return failed(*result.failure);
      UpdateOutcome& part = parts_[*broken];
      part.kind = OutcomeKind::Failed;
      part.failure = result.failure;
      part.applied.reset();
      fetched_[*broken].body.reset();
      bool changed = false;
      for (const FetchedPicture& picture : fetched_) changed |= picture.body != nullptr;
      if (!changed && !needsRedraw()) return unchanged();
    }

    reach(UpdateStep::Committing);
    const std::unique_lock<std::mutex> committing = services_.commits.enter();
    if (cancel_.stopped()) return failed(cancelledFailure());
    // Drawn here for each monitor: the style values of a drawn mode.
    if (auto problem = commitBitmap(services_, bitmap, folder, DisplayMode::Fill, spanned))
      return failed(*problem);
    outcome_.commit = services_.commits.next();
    for (std::size_t i = 0; i < pictures_.size(); ++i) {
      if (!fetched_[i].body) continue;
      UpdateOutcome& part = parts_[i];
      if (!fetched_[i].body->moveOver(folder + pictures_[i].fileName)) {
        part.kind = OutcomeKind::Failed;
        part.failure = fetched_[i].body->failure();
        part.applied.reset();
        continue;
      }
      if (part.applied) part.applied->appliedAt = request_.startedAt;
      outcome_.newPicture = true;
    }
    outcome_.sources = parts_;
    return finish(OutcomeKind::Updated);
  }

  // Which set picture a drawing failure belongs to, when it is a new one.
  std::optional<std::size_t> newPictureThatFailed(const WallpaperResult& result,
                                                  const std::vector<std::string>& files,
                                                  const std::vector<std::size_t>& which) const {
    if (result.pictures.empty() || !result.pictures.back().failure) return std::nullopt;
    // The pictures are drawn in the order of files, one entry per file and mode.
    const std::vector<WallpaperPicture> set = [&] {
      std::vector<PictureSource> drawn;
      for (std::size_t i : which) drawn.push_back(pictures_[i]);
      return wallpaperOf(drawn, files, monitors_);
    }();
    const std::string& file = set[result.pictures.size() - 1].picturePath;
    for (std::size_t k = 0; k < files.size(); ++k)
      if (files[k] == file && fetched_[which[k]].body) return which[k];
    return std::nullopt;
  }

  // The records: the common picture's in the Config key (with the set's layout, so that a
  // later update knows what the wallpaper was drawn from), the others' under each of their
  // monitors' keys.
  UpdateOutcome finish(OutcomeKind whenNoneFailed) {
    AppliedPicture common = request_.applied;
    bool anyUpdated = false;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
      const UpdateOutcome& part = parts_[i];
      anyUpdated |= part.kind == OutcomeKind::Updated;
      // The first failure decides what happens next, and names its monitors.
      if (part.kind == OutcomeKind::Failed && !outcome_.failure) {
        outcome_.failure = part.failure;
        outcome_.failure->detail = part.shownOn + ": " + part.failure->detail;
      }
      if (!part.applied) continue;
      if (pictures_[i].common) {
        common = *part.applied;
      } else {
        for (const std::string& key : pictures_[i].keys)
          outcome_.monitorsApplied[key] = *part.applied;
      }
    }
    outcome_.sources = parts_;
    common.display = request_.settings.display;
    // The desktop shows a set from the history: none that the records describe.
    common.known = request_.drawFrom.empty();
    common.layout = layout_;
    if (outcome_.commit > 0 || !(common == request_.applied)) outcome_.applied = common;
    if (!parts_.empty()) {
      const UpdateOutcome& first = parts_.front();
      outcome_.width = first.width;
      outcome_.height = first.height;
      outcome_.format = first.format;
      outcome_.bytes = first.bytes;
      outcome_.pictureUrl = first.pictureUrl;
      outcome_.origin = first.origin;
    }
    outcome_.kind = outcome_.failure                    ? OutcomeKind::Failed
                    : anyUpdated || outcome_.commit > 0 ? whenNoneFailed
                                                        : OutcomeKind::Unchanged;
    outcome_.seconds = stopwatch_.seconds();
    return outcome_;
  }

  UpdateOutcome unchanged() {
    outcome_.detail = parts_.front().detail;
    return finish(OutcomeKind::Unchanged);
  }

  // The whole set failed (the folder, the drawing, the commit, a cancel): one reason.
  UpdateOutcome failed(Failure failure) {
    outcome_.kind = OutcomeKind::Failed;
    outcome_.failure = std::move(failure);
    outcome_.applied.reset();
    outcome_.monitorsApplied.clear();
    outcome_.sources.clear();
    outcome_.seconds = stopwatch_.seconds();
    return outcome_;
  }

  void reach(UpdateStep step) {
    if (services_.reached) services_.reached(step);
  }

  const Stopwatch stopwatch_;
  const UpdateRequest& request_;
  UpdateServices& services_;
  CancelToken& cancel_;
  const std::vector<Monitor> monitors_;
  const std::vector<PictureSource> pictures_;
  std::vector<FetchedPicture> fetched_;
  std::vector<UpdateOutcome> parts_;
  std::string layout_;
  UpdateOutcome outcome_;
};

}  // namespace

UpdateOutcome runUpdate(const UpdateRequest& request, UpdateServices& services,
                        CancelToken& cancel) {
  // A set when some connected monitor has a picture of its own; Check asks about one address.
  if (!request.checkOnly && !request.settings.monitorSources.empty()) {
    std::vector<Monitor> monitors = services.desktop.monitors();
    if (std::vector<PictureSource> pictures = picturesFor(request.settings, monitors);
        !pictures.empty())
      return SetUpdate(request, services, cancel, std::move(monitors), std::move(pictures)).run();
  }
  return Update(request, services, cancel).run();
}

std::string hostOf(const std::string& url) {
  const std::optional<HttpUrl> parts = parseHttpUrl(url);
  return parts ? parts->host : "";
}

void removeOwnFiles(Files& files, const std::string& folder) {
  if (folder.empty() || folder.find_first_of("*?") != std::string::npos) return;
  files.remove(folder + kPictureFileName);
  files.remove(folder + kBitmapFileName);
  files.remove(folder + kOtherBitmapFileName);
  for (const std::string& name : files.list(folder, kMonitorPicturePrefix, kMonitorPictureSuffix))
    files.remove(folder + name);
  for (const std::string& name : files.list(folder, kTemporaryPrefix, kTemporarySuffix))
    files.remove(folder + name);
  History(files).removeAll(folder);
}

}  // namespace tessaren
