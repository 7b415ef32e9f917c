// Why an update, or one of its steps, did not end with a new picture: a kind, which alone
// decides what happens next, and a short sentence for people, which never does.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

enum class FailureKind : std::uint8_t {
  Cancelled,    // the user replaced the update (Save) or left (Exit): not shown as a failure
  NotModified,  // the server says the picture has not changed since we asked
  TimedOut,     // no answer in time, or the whole request took too long
  Unreachable,  // no such server, no connection, or the connection broke
  NotHttp,      // the server's answer is not HTTP
  Insecure,     // no trusted TLS connection
  NotFound,     // HTTP 404 or 410: nothing there (a dated address tries the step before)
  HttpStatus,   // another answer than the one that delivers the picture
  TooManyRedirects,
  CutShort,        // the body, or the picture inside it, ended early
  TooLarge,        // beyond a size limit: the body, a page, the picture at full size
  NotAPicture,     // bytes of no format Tessaren reads
  BrokenPicture,   // a format Tessaren reads, damaged or unsupported inside
  NoPictureFound,  // a page, feed or document that names no picture
  DiskFull,
  CannotWrite,  // a file or folder can't be made, written or replaced
  CannotRead,   // a file Tessaren wrote itself can't be opened or read back
  OutOfMemory,
  UnusableAddress,
  NotAllowed,  // an address a document or redirect named that may not be reached from there
  UnusableFolder,
  NoMonitor,
  DesktopRefused,  // the desktop did not take the wallpaper
};

struct Failure {
  FailureKind kind = FailureKind::CannotWrite;
  std::string detail;  // "HTTP 404 Not Found", "can't write C:\...\tessaren.bmp: disk full"

  bool operator==(const Failure&) const = default;
};

inline Failure cancelledFailure() { return {FailureKind::Cancelled, "cancelled"}; }

}  // namespace tessaren
