// One update on the worker thread.
#include "update/update_job.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

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
    if (auto problem = folderProblem(folder))
      return failed({FailureKind::UnusableFolder, *problem});
    if (auto problem = services_.files.makeFolder(folder)) return failed(*problem);
    if (request_.clearLeftovers && !request_.checkOnly) {
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
    return services_.files.create(
        settings_.folder + temporaryFileName(request_.id, kPictureFileName), why);
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
      fetched.bodies[i] = services_.files.create(
          settings_.folder + temporaryFileName(request_.id, tileFileName(i)), why);
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
    return drawAndCommit(picturePath_, assembled.get(), "", &mosaic);
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
    conversion.shownPath = bitmapPath_;
    conversion.freeBytes = services_.files.freeBytes(settings_.folder);
    conversion.contentType = contentType;
    if (drawnForTheMonitors(settings_.display)) {
      conversion.drawn = settings_.display;
      conversion.monitors = services_.desktop.monitors();
      conversion.tiled = !spanned;
    }
    TemporaryBitmap bitmap(services_.files,
                           settings_.folder + temporaryFileName(request_.id, kBitmapFileName));
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
    if (auto problem = services_.files.replace(bitmap.path(), bitmapPath_)) return failed(*problem);
    bitmap.kept();
    if (auto problem = applyWallpaper(services_.store, services_.desktop, bitmapPath_,
                                      settings_.display, spanned))
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
};

}  // namespace

UpdateOutcome runUpdate(const UpdateRequest& request, UpdateServices& services,
                        CancelToken& cancel) {
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
  for (const std::string& name : files.list(folder, kTemporaryPrefix, kTemporarySuffix))
    files.remove(folder + name);
  History(files).removeAll(folder);
}

}  // namespace tessaren
