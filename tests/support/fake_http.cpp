// The scripted HTTP client and the recording file functions of fake_http.h.
#include "tests/support/fake_http.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace tessaren::test {
namespace {

constexpr InternetHandle kSession = 0x51;
constexpr InternetHandle kConnection = 0xC0;
constexpr InternetHandle kRequest = 0x7E;

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

const char* timeoutName(HttpTimeout which) {
  switch (which) {
    case HttpTimeout::Connect:
      return "connect";
    case HttpTimeout::Send:
      return "send";
    case HttpTimeout::Receive:
      return "receive";
  }
  return "?";
}

}  // namespace

std::string fileNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

FakeHttp::FakeHttp(std::vector<std::string>& log) : log_(log) { setHttpApi(this); }

FakeHttp::~FakeHttp() { setHttpApi(nullptr); }

ScriptedResponse& FakeHttp::current() {
  if (responses.empty()) responses.emplace_back();
  return responses.front();
}

std::string FakeHttp::nameOf(InternetHandle handle) const {
  auto found = open_.find(handle);
  return found == open_.end() ? "unknown " + hex(static_cast<std::uint32_t>(handle))
                              : found->second;
}

InternetHandle FakeHttp::openSession(const std::string& agent) {
  // A new request starts: the previous response, if any, has been used up.
  if (started_ && responses.size() > 1) responses.pop_front();
  started_ = true;
  delivered_ = 0;
  piece_ = 0;
  pieceUsed_ = 0;
  bool fails = current().failAt == ScriptedResponse::Failure::Session;
  log_.push_back("open " + agent + (fails ? " -> fail" : ""));
  if (fails) return 0;
  open_[kSession] = "session";
  return kSession;
}

InternetHandle FakeHttp::connect(InternetHandle session, const std::string& serverName,
                                 std::uint32_t port) {
  bool fails = current().failAt == ScriptedResponse::Failure::Connect;
  log_.push_back("connect " + nameOf(session) + " " + serverName + ":" + std::to_string(port) +
                 (fails ? " -> fail" : ""));
  if (fails) return 0;
  open_[kConnection] = "connection";
  return kConnection;
}

InternetHandle FakeHttp::openRequest(InternetHandle connection, const std::string& verb,
                                     const std::string& objectPath, const std::string& version,
                                     std::uint32_t flags) {
  bool fails = current().failAt == ScriptedResponse::Failure::OpenRequest;
  log_.push_back("request " + nameOf(connection) + " " + verb + " [" + objectPath + "] " + version +
                 " " + hex(flags) + (fails ? " -> fail" : ""));
  if (fails) return 0;
  open_[kRequest] = "request";
  return kRequest;
}

bool FakeHttp::setTimeout(InternetHandle handle, HttpTimeout which, std::uint32_t milliseconds) {
  log_.push_back("timeout " + nameOf(handle) + " " + timeoutName(which));
  timeouts[which] = milliseconds;
  return true;
}

bool FakeHttp::addHeaders(InternetHandle request, const std::string& headers,
                          std::uint32_t modifiers) {
  log_.push_back("headers " + nameOf(request) + " " + std::to_string(headers.size()) + " " +
                 hex(modifiers));
  headersAdded += headers;
  return true;
}

bool FakeHttp::sendRequest(InternetHandle request) {
  bool fails = current().failAt == ScriptedResponse::Failure::Send;
  log_.push_back("send " + nameOf(request) + (fails ? " -> fail" : ""));
  return !fails;
}

bool FakeHttp::queryInfo(InternetHandle request, std::uint32_t infoLevel, char* buffer,
                         std::uint32_t& length) {
  const ScriptedResponse& response = current();
  std::optional<std::string> value;
  if (infoLevel == kQueryStatusCode && response.failAt != ScriptedResponse::Failure::Status)
    value = response.status;
  if (infoLevel == kQueryContentLength) value = response.contentLength;
  if (infoLevel == kQueryStatusText && !response.statusText.empty()) value = response.statusText;
  if (infoLevel == kQueryContentType) value = response.contentType;
  if (infoLevel == kQueryEtag) value = response.etag;
  if (infoLevel == kQueryLastModified) value = response.lastModified;
  log_.push_back("query " + nameOf(request) + " " + std::to_string(infoLevel) +
                 (value ? "" : " -> fail"));
  // Like HttpQueryInfoA: the text and its NUL must fit, the length excludes the NUL.
  if (!value || value->size() + 1 > length) return false;
  std::memcpy(buffer, value->c_str(), value->size() + 1);
  length = static_cast<std::uint32_t>(value->size());
  return true;
}

std::uint64_t FakeHttp::available() const {
  const ScriptedResponse& response = responses.front();
  constexpr std::uint64_t kEndlessPiece = 4096;
  std::uint64_t rest = response.endless ? kEndlessPiece : response.body.size() - delivered_;
  if (piece_ < response.pieces.size())
    rest = std::min<std::uint64_t>(rest, response.pieces[piece_] - pieceUsed_);
  return rest;
}

bool FakeHttp::queryDataAvailable(InternetHandle request, std::uint32_t& bytes) {
  const ScriptedResponse& response = current();
  if (response.readDelay.count() > 0) std::this_thread::sleep_for(response.readDelay);
  bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(available(), UINT32_MAX));
  log_.push_back("available " + nameOf(request) + " -> " + std::to_string(bytes));
  return true;
}

bool FakeHttp::readFile(InternetHandle request, std::uint8_t* buffer, std::uint32_t size,
                        std::uint32_t& bytesRead) {
  const ScriptedResponse& response = current();
  std::uint64_t count = std::min<std::uint64_t>(size, available());
  if (response.readFailsAt && delivered_ + count > *response.readFailsAt) {
    log_.push_back("read " + nameOf(request) + " " + std::to_string(size) + " -> fail");
    bytesRead = 0;
    return false;
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t at = delivered_ + i;
    buffer[i] = static_cast<std::uint8_t>(response.body[at % response.body.size()]);
  }
  delivered_ += count;
  pieceUsed_ += count;
  if (piece_ < response.pieces.size() && pieceUsed_ == response.pieces[piece_]) {
    ++piece_;
    pieceUsed_ = 0;
  }
  bytesRead = static_cast<std::uint32_t>(count);
  log_.push_back("read " + nameOf(request) + " " + std::to_string(size) + " -> " +
                 std::to_string(count));
  return true;
}

bool FakeHttp::closeHandle(InternetHandle handle) {
  log_.push_back("close " + nameOf(handle));
  return open_.erase(handle) == 1;
}

std::uint32_t FakeHttp::lastError() { return current().error; }

FakeLocalFiles::FakeLocalFiles(std::vector<std::string>& log) : log_(log) { setLocalFileApi(this); }

FakeLocalFiles::~FakeLocalFiles() { setLocalFileApi(nullptr); }

LocalFileHandle FakeLocalFiles::createForWriting(const std::string& path) {
  LocalFileHandle file = failCreate ? 0 : platformLocalFileApi().createForWriting(path);
  log_.push_back("create " + fileNameOf(path) + (file == 0 ? " -> fail" : ""));
  if (file != 0) ++openFiles_;
  written_ = 0;
  return file;
}

bool FakeLocalFiles::write(LocalFileHandle file, const std::uint8_t* data, std::uint32_t size,
                           std::uint32_t& written) {
  if (failWrite) {
    log_.push_back("write " + std::to_string(size) + " -> fail");
    written = 0;
    return false;
  }
  std::uint32_t allowed = size;
  if (diskFullAt)
    allowed = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(size, *diskFullAt - std::min(*diskFullAt, written_)));
  bool ok = platformLocalFileApi().write(file, data, allowed, written);
  written_ += written;
  log_.push_back("write " + std::to_string(size) + " -> " + std::to_string(written));
  return ok;
}

bool FakeLocalFiles::close(LocalFileHandle file) {
  bool ok = platformLocalFileApi().close(file) && !failClose;
  --openFiles_;
  log_.push_back(std::string("close file") + (ok ? "" : " -> fail"));
  return ok;
}

bool FakeLocalFiles::replace(const std::string& from, const std::string& to) {
  bool ok = !failReplace && platformLocalFileApi().replace(from, to);
  log_.push_back("replace " + fileNameOf(from) + " " + fileNameOf(to) + (ok ? "" : " -> fail"));
  return ok;
}

bool FakeLocalFiles::remove(const std::string& path) {
  bool ok = platformLocalFileApi().remove(path);
  log_.push_back("remove " + fileNameOf(path) + (ok ? "" : " -> fail"));
  return ok;
}

bool FakeLocalFiles::exists(const std::string& path) { return platformLocalFileApi().exists(path); }

bool FakeLocalFiles::createDirectories(const std::string& directory) {
  const bool ok = !failCreateDirectories && platformLocalFileApi().createDirectories(directory);
  log_.push_back(std::string("create folder") + (ok ? "" : " -> fail"));
  return ok;
}

std::string FakeLocalFiles::lastErrorText() {
  return failCreate || failWrite || failClose || failReplace || failCreateDirectories
             ? "Access is denied. (5)"
             : platformLocalFileApi().lastErrorText();
}

}  // namespace tessaren::test
