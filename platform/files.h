// The file operations of the program, at the level of what it does with files: write a
// new file that disappears unless it is kept, put a finished file in place of another in
// one step, make a folder, and clear away what an earlier run left. Win32 in the Windows
// build (files_win32.cpp), POSIX natively, so that native tests run on real files.
//
// The picture folder may be one that others can write into (Public, a share): nothing
// here writes through, lists through or removes through a link or junction someone put
// there. New files are made only where no name exists yet, and links and junctions are
// left out of every listing, so that clearing away never reaches beyond the folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace tessaren {

// A file being written. Until it is closed whole it is marked for deletion, so that it
// goes even when the process ends in the middle; once destroyed, it is deleted unless
// moveOver() has given it its final name.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual bool write(const void* data, std::size_t size) = 0;
  // Every byte written reached the file; the file stays, still ours.
  virtual bool close() = 0;
  // Replaces destination with the closed file in one step, as Files::replace does; from
  // then on it is not ours.
  virtual bool moveOver(const std::string& destination) = 0;
  virtual const std::string& path() const = 0;
  // Why the last step failed: "can't write C:\...\x.part: disk full" (kind DiskFull or
  // CannotWrite).
  virtual const Failure& failure() const = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // A new, empty file at path; nullptr with why set when it can't be made, or when
  // anything has that name already (a file, or a link planted there).
  virtual std::unique_ptr<OutputFile> create(const std::string& path, Failure& why) = 0;
  // The folder with its parents; nothing when it exists afterwards.
  virtual std::optional<Failure> makeFolder(const std::string& folder) = 0;
  // Replaces to with from in one step. Where another program holds either file for a
  // moment (a preview, a thumbnailer, a virus scan), it tries again for a few seconds, and
  // then names the file that was held.
  virtual std::optional<Failure> replace(const std::string& from, const std::string& to) = 0;
  virtual bool remove(const std::string& path) = 0;
  virtual bool exists(const std::string& path) = 0;
  // The bytes the current user may still write on the volume holding folder; nothing
  // when that cannot be told.
  virtual std::optional<std::uint64_t> freeBytes(const std::string& folder) = 0;
  // The names (not paths) of the files in folder that begin with prefix and end with
  // suffix; no link is one.
  virtual std::vector<std::string> list(const std::string& folder, const std::string& prefix,
                                        const std::string& suffix) = 0;
  // The names of the folders inside folder; no link or junction is one.
  virtual std::vector<std::string> folders(const std::string& folder) = 0;
  // A symbolic link or a junction stands at path (a trailing separator is allowed).
  virtual bool isLink(const std::string& path) = 0;
  // The size of a file; nothing when it can't be told.
  virtual std::optional<std::uint64_t> size(const std::string& path) = 0;
  // A file at to with from's bytes (to must not exist): a second name for the same file
  // where the volume allows, since Tessaren only ever replaces its files and never writes
  // into one, else a copy.
  virtual std::optional<Failure> keepCopy(const std::string& from, const std::string& to) = 0;
  // Removes an empty folder; true when it is gone afterwards.
  virtual bool removeFolder(const std::string& folder) = 0;
};

// The platform's files.
Files& platformFiles();

// Windows takes either slash between the parts of a path; the native build, which runs the
// same path rules on POSIX paths, has only the forward one anyway.
inline bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

// 64 bits from the system's own source of randomness (BCryptGenRandom on Windows, the
// kernel's getrandom natively), for names nobody can tell in advance.
std::uint64_t unpredictableBits();

// Byte for byte the same files; a file that can't be read is never the same.
bool sameContents(const std::string& first, const std::string& second);

}  // namespace tessaren
