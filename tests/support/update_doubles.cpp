// The scripted fetcher, the fake desktop and the gate that holds either.
#include "tests/support/update_doubles.h"

#include "download/url.h"
#include "tests/support/file_contents.h"

namespace tessaren::test {

void Gate::close() {
  std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
}

void Gate::open() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = false;
  }
  changed_.notify_all();
}

bool Gate::pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!closed_ || taken_) return false;
  taken_ = true;
  ++held_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return !closed_; });
  --held_;
  return true;
}

void Gate::waitHeld() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return held_ > 0; });
}

FetchResult ScriptedFetcher::fetchToFile(const FetchRequest& request, OutputFile& body,
                                         CancelToken& cancel) {
  ScriptedAnswer answer;
  FetchResult result;
  result.finalUrl = request.url;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (request.mayReach) {
      const std::optional<HttpUrl> url = parseHttpUrl(request.url);
      FetchHop hop{request.url, "", {}, false};
      if (url) hop.addresses = resolves[url->host];
      result.failure = request.mayReach(hop);
      if (!result.failure && url && connectsTo.contains(url->host))
        result.failure = request.mayReach({request.url, "", {connectsTo[url->host]}, true});
      if (result.failure) return result;
    }
    asked.push_back(request);
    auto found = answers.find(request.url);
    if (found == answers.end()) {
      answer.failure = statusFailure(404, "Not Found");
      answer.status = 404;
    } else {
      answer = found->second;
    }
  }
  if (answer.failure) {
    result.failure = answer.failure;
    result.status = answer.status;
    return result;
  }
  result.status = 200;
  if (answer.notModifiedWhenAsked && !request.ask.etag.empty() &&
      request.ask.etag == answer.validators.etag) {
    result.failure = Failure{FailureKind::NotModified, "not modified"};
    return result;
  }
  if (inBody != nullptr) inBody->pass();
  if (cancel.stopped()) {
    result.failure = cancelledFailure();
    return result;
  }
  // In pieces through the real body policy, as they would arrive.
  BodyPolicy policy(request, std::chrono::steady_clock::now(), answer.body.size(),
                    answer.contentType);
  for (std::size_t at = 0; at < answer.body.size(); at += 64 * 1024) {
    const std::string_view piece = std::string_view(answer.body).substr(at, 64 * 1024);
    result.failure = policy.afterPiece(piece);
    if (result.failure) return result;
    if (!body.write(piece.data(), piece.size())) {
      result.failure = body.failure();
      return result;
    }
  }
  if (!body.close()) {
    result.failure = body.failure();
    return result;
  }
  result.bytes = answer.body.size();
  result.contentType = answer.contentType;
  result.validators = answer.validators;
  return result;
}

bool FakeDesktop::setWallpaper(const std::string& bmpPath) {
  if (inCall != nullptr) inCall->pass();
  std::lock_guard<std::mutex> lock(mutex_);
  wallpapers.emplace_back(bmpPath, fileContents(bmpPath));
  if (takesWallpapers) shown = bmpPath;
  return takesWallpapers;
}

std::string FakeDesktop::wallpaper() {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown;
}

}  // namespace tessaren::test
