// The update log, %LOCALAPPDATA%\Tessaren\tessaren.log: one UTF-8 line per finished
// update, kept across restarts. Past 1 MiB the file becomes tessaren.log.1 (one old copy
// is kept). A log that can't be written is skipped: it never fails an update.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

constexpr std::uint64_t kLogRotateBytes = 1024 * 1024;

// Where the log is: the folder of the default downloads, whatever folder the user chose.
std::string updateLogPath();

// Appends line and a line end; rotates first when the file has reached the limit.
// False when nothing could be written.
bool appendLogLine(const std::string& path, const std::string& line,
                   std::uint64_t rotateBytes = kLogRotateBytes);

}  // namespace tessaren
