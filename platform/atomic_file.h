// Writing a whole file so that a failure never leaves a damaged file behind: the bytes go to a
// temporary file with a short name in the target's folder, which is flushed to disk and renamed
// over the target only when it is complete; the folder is flushed after the rename. The new
// file keeps the permission bits (and, where allowed, the group) of the file it replaces; a new
// file gets 0666 less the umask. Every failure removes the temporary file. A save to a symbolic
// link replaces the file the link leads to and keeps the link.
//
// A process killed during a save leaves its temporary file behind; the next save into that
// folder removes such leftovers (our own name pattern, older than kStaleTemporarySeconds, owned
// by this user and not locked by a save in progress).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct FileResult {
  bool ok = true;
  std::string error;  // what went wrong, with the path and the system's reason
  int systemError = 0;  // the errno behind it, where there is one
  explicit operator bool() const { return ok; }
  static FileResult Failure(std::string message, int err = 0) { return {false, std::move(message), err}; }
};

constexpr int kStaleTemporarySeconds = 10 * 60;

// The step of a file write or read that failed, as the failure message names it ahead of the
// quoted path and the system's reason: "Cannot create \"/x/y.par\": No such file or directory".
enum class FileStep { Create, Write, Replace, FlushFolder, Open, Read, NoFileName, NotRegularFile, TooLarge };
// The words for a step in the user's language (UTF-8); the program sets them once, and they are
// asked for at each failure, so that they follow a change of language. Null: English.
using FileStepWords = std::string (*)(FileStep step);
void SetFileStepWords(FileStepWords words);
// The words for `step` now.
std::string WordsFor(FileStep step);

// The file a save to path replaces: the end of the chain when path is a symbolic link (the
// link stays and its target gets the new bytes), else path itself. A link whose target does not
// exist yet names the file to create. Empty for a loop of links.
std::string FinalTarget(const std::string& path);

// Removes the temporary files of killed saves in folder: names ".kv" + 8 letters or digits +
// ".tmp", plain files of this user, last written at least minAgeSeconds ago and not locked.
void RemoveStaleTemporaries(const std::string& folder, int minAgeSeconds);

// A file written front to back and put in place by Commit. Destroying it uncommitted removes
// the temporary file and leaves the target as it was.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // False when the temporary file could not be made, or after a failed write.
  bool Good() const { return fd_ >= 0 && error_.empty(); }
  // Appends bytes; false (with the error kept for Commit) when they could not be written.
  bool Write(const void* data, std::size_t size);
  // Flushes the written bytes to disk and closes the temporary file, without replacing the
  // target yet: a set of files is prepared first and then committed together, so that a
  // failure while writing any of them replaces none. Fails like Commit.
  FileResult Prepare();
  // Prepares (when not done yet), renames over the target, then flushes the folder. Fails
  // (with the first error met) after any failed step; the temporary file is then gone.
  FileResult Commit();
  // The first error met so far (empty while all is well).
  const std::string& Error() const { return error_; }
  const std::string& TemporaryPath() const { return temp_; }

 private:
  void Fail(FileStep step, int err);
  void Discard();

  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool prepared_ = false;
  std::string error_;
};

// Replaces (or creates) the file at path with the given bytes, atomically.
FileResult WriteFileAtomically(const std::string& path, const void* data, std::size_t size);
inline FileResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
  return WriteFileAtomically(path, bytes.data(), bytes.size());
}

// Reads a whole file; fails when it cannot be opened or read, or is larger than maxSize (a
// missing file fails with systemError ENOENT).
FileResult ReadWholeFile(const std::string& path, std::string& bytes, std::size_t maxSize);
FileResult ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::size_t maxSize);

}  // namespace platform
