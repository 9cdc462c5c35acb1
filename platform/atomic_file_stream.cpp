#include "platform/atomic_file_stream.h"

#include <algorithm>

namespace platform {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

AtomicFileStream::AtomicFileStream(std::string path) : file_(std::move(path)) {
  open_ = file_.Good();
  if (!open_) error_ = file_.Error();
  buffer_.reserve(kBufferSize);
}

std::size_t AtomicFileStream::Read(void*, std::size_t) { return 0; }

bool AtomicFileStream::FlushBuffer() {
  const bool ok = file_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
  if (!ok && error_.empty()) error_ = file_.Error();
  return ok;
}

std::size_t AtomicFileStream::Write(const void* data, std::size_t count) {
  if (!open_ || committed_ || prepared_ || !error_.empty()) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  position_ += count;
  if (buffer_.empty() && count >= kBufferSize) {
    if (file_.Write(bytes, count)) return count;
    error_ = file_.Error();
    return 0;
  }
  std::size_t done = 0;
  while (done < count) {
    std::size_t part = std::min(count - done, kBufferSize - buffer_.size());
    buffer_.insert(buffer_.end(), bytes + done, bytes + done + part);
    done += part;
    if (buffer_.size() == kBufferSize && !FlushBuffer()) return done - part;
  }
  return count;
}

std::int64_t AtomicFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  if (offset == 0 && origin == SeekOrigin::Current) return static_cast<std::int64_t>(position_);
  return -1;
}

bool AtomicFileStream::Prepare() {
  if (!open_ || committed_) return false;
  if (prepared_) return error_.empty();
  prepared_ = true;
  if (error_.empty()) FlushBuffer();
  if (!error_.empty()) return false;
  const FileResult result = file_.Prepare();
  if (!result && error_.empty()) error_ = result.error;
  return error_.empty();
}

bool AtomicFileStream::Commit() {
  if (!open_ || committed_) return false;
  const bool ready = Prepare();
  committed_ = true;
  if (!ready) return false;  // the failure removed the temporary file
  const FileResult result = file_.Commit();
  if (!result && error_.empty()) error_ = result.error;
  return static_cast<bool>(result) && error_.empty();
}

}  // namespace platform
