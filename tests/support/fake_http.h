// A scripted HTTP client and a recording wrapper around the file functions. Both write
// into one call log, so that tests can check the exact calls and their order across the
// network and the disk, on the success path and on every failure path.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "download/http_api.h"
#include "download/local_file_api.h"

namespace tessaren::test {

// What the server says to one request.
struct ScriptedResponse {
  enum class Failure { None, Session, Connect, OpenRequest, Send, Status };
  Failure failAt = Failure::None;  // the step whose call fails
  std::string status = "200";
  std::optional<std::string> contentLength{};  // the Content-Length header, if any
  std::string body{};
  // The body arrives in pieces of these sizes: a read delivers at most the rest of the
  // current piece. When they are used up, the rest of the body is there at once.
  std::vector<std::uint32_t> pieces{};
  std::optional<std::uint64_t> readFailsAt{};  // a read reaching past this many bytes fails
  bool endless = false;                        // the body repeats for ever
  std::chrono::milliseconds readDelay{0};      // the wait for every piece
  std::string statusText{};                    // the reason phrase, "Not Found"
  std::optional<std::string> contentType{};
  std::optional<std::string> etag{};
  std::optional<std::string> lastModified{};
  std::uint32_t error = 12029;  // what lastError() says after the failing step
};

class FakeHttp final : public HttpApi {
 public:
  // Installs itself as the HTTP client in use for its lifetime.
  explicit FakeHttp(std::vector<std::string>& log);
  ~FakeHttp() override;

  InternetHandle openSession(const std::string& agent) override;
  InternetHandle connect(InternetHandle session, const std::string& serverName,
                         std::uint32_t port) override;
  InternetHandle openRequest(InternetHandle connection, const std::string& verb,
                             const std::string& objectPath, const std::string& version,
                             std::uint32_t flags) override;
  bool setTimeout(InternetHandle handle, HttpTimeout which, std::uint32_t milliseconds) override;
  bool addHeaders(InternetHandle request, const std::string& headers,
                  std::uint32_t modifiers) override;
  bool sendRequest(InternetHandle request) override;
  bool queryInfo(InternetHandle request, std::uint32_t infoLevel, char* buffer,
                 std::uint32_t& length) override;
  bool queryDataAvailable(InternetHandle request, std::uint32_t& bytes) override;
  bool readFile(InternetHandle request, std::uint8_t* buffer, std::uint32_t size,
                std::uint32_t& bytesRead) override;
  bool closeHandle(InternetHandle handle) override;
  std::uint32_t lastError() override;

  // One response per request, in order; the last one answers every further request.
  std::deque<ScriptedResponse> responses;

  std::string headersAdded;  // every block exactly as handed to addHeaders, one after another
  std::map<HttpTimeout, std::uint32_t> timeouts;
  int openHandles() const { return static_cast<int>(open_.size()); }

 private:
  ScriptedResponse& current();
  std::string nameOf(InternetHandle handle) const;

  std::vector<std::string>& log_;
  std::map<InternetHandle, std::string> open_;
  std::uint64_t available() const;  // the rest of the current piece
  std::uint64_t delivered_ = 0;
  std::size_t piece_ = 0;
  std::uint64_t pieceUsed_ = 0;
  bool started_ = false;
};

// The platform's file functions with a log and failures on demand. Paths are logged by
// their file name only.
class FakeLocalFiles final : public LocalFileApi {
 public:
  explicit FakeLocalFiles(std::vector<std::string>& log);
  ~FakeLocalFiles() override;

  LocalFileHandle createForWriting(const std::string& path) override;
  bool write(LocalFileHandle file, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override;
  bool close(LocalFileHandle file) override;
  bool replace(const std::string& from, const std::string& to) override;
  bool remove(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool createDirectories(const std::string& directory) override;
  std::string lastErrorText() override;

  bool failCreate = false;
  // Writes stop short once the file holds this many bytes (a full disk): the call
  // succeeds but writes less than asked.
  std::optional<std::uint64_t> diskFullAt;
  bool failWrite = false;
  bool failClose = false;
  bool failReplace = false;
  bool failCreateDirectories = false;
  int openFiles() const { return openFiles_; }

 private:
  std::vector<std::string>& log_;
  std::uint64_t written_ = 0;
  int openFiles_ = 0;
};

// The last component of a path, either separator.
std::string fileNameOf(const std::string& path);

}  // namespace tessaren::test
