// A byte stream written whole or not at all, over AtomicFile: the bytes go to a temporary file
// beside the target, which replaces the target only on Commit (keeping the replaced file's
// permissions). Until then (and after any failed write) the target keeps what it held; an
// uncommitted temporary file is removed. Writes are buffered, so a file's image never has to be
// in memory. Workbook saves and the exports write through it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/byte_stream.h"

namespace platform {

class AtomicFileStream : public ByteStream {
 public:
  explicit AtomicFileStream(std::string path);
  AtomicFileStream(const AtomicFileStream&) = delete;
  AtomicFileStream& operator=(const AtomicFileStream&) = delete;

  // False (with Error set) when the temporary file could not be made.
  bool IsOpen() const { return open_; }
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* data, std::size_t count) override;
  // Only the position query (0 from the current position) is answered: the stream is written
  // front to back.
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  // Writes what is buffered, flushes and closes, without replacing the target yet (see
  // AtomicFile::Prepare). False with Error set when that or an earlier write failed.
  bool Prepare();
  // Writes what is buffered, flushes, closes and renames over the target. False with Error
  // set when any step (or an earlier write) failed; the target is then left as it was.
  bool Commit();
  const std::string& Error() const { return error_; }

 private:
  bool FlushBuffer();

  AtomicFile file_;
  bool open_ = false;
  bool committed_ = false;
  bool prepared_ = false;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t position_ = 0;
  std::string error_;
};

}  // namespace platform
