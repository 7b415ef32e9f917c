// The scripted fetcher, the fake desktop and the gate that holds either.
#include "tests/support/update_doubles.h"

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
  {
    std::lock_guard<std::mutex> lock(mutex_);
    asked.push_back(request);
    auto found = answers.find(request.url);
    if (found == answers.end()) {
      answer.failure = statusFailure(404, "Not Found");
      answer.status = 404;
    } else {
      answer = found->second;
    }
  }
  FetchResult result;
  result.finalUrl = request.url;
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
  if (!body.write(answer.body.data(), answer.body.size()) || !body.close()) {
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
  return takesWallpapers;
}

}  // namespace tessaren::test
