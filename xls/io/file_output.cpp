#include "xls/io/file_output.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace xls {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

TXLSAtomicFileStream::TXLSAtomicFileStream(std::string path) : path_(std::move(path)) {
  temp_ = path_ + ".XXXXXX";
  fd_ = mkstemp(temp_.data());
  if (fd_ < 0) {
    error_ = "Cannot create file " + path_ + ": " + strerror(errno);
    temp_.clear();
    return;
  }
  // mkstemp makes the file private; a saved workbook gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  buffer_.reserve(kBufferSize);
}

TXLSAtomicFileStream::~TXLSAtomicFileStream() { Discard(); }

void TXLSAtomicFileStream::Discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

void TXLSAtomicFileStream::Fail(const std::string& what) {
  if (error_.empty()) error_ = what + " " + path_ + ": " + strerror(errno);
}

std::size_t TXLSAtomicFileStream::Read(void*, std::size_t) { return 0; }

bool TXLSAtomicFileStream::WriteDirect(const std::uint8_t* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = write(fd_, data + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail("Cannot write file");
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool TXLSAtomicFileStream::FlushBuffer() {
  const bool ok = WriteDirect(buffer_.data(), buffer_.size());
  buffer_.clear();
  return ok;
}

std::size_t TXLSAtomicFileStream::Write(const void* data, std::size_t count) {
  if (fd_ < 0 || !error_.empty()) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  position_ += count;
  if (buffer_.empty() && count >= kBufferSize) return WriteDirect(bytes, count) ? count : 0;
  std::size_t done = 0;
  while (done < count) {
    std::size_t part = std::min(count - done, kBufferSize - buffer_.size());
    buffer_.insert(buffer_.end(), bytes + done, bytes + done + part);
    done += part;
    if (buffer_.size() == kBufferSize && !FlushBuffer()) return done - part;
  }
  return count;
}

std::int64_t TXLSAtomicFileStream::Seek(std::int64_t offset, platform::SeekOrigin origin) {
  if (offset == 0 && origin == platform::SeekOrigin::Current) return static_cast<std::int64_t>(position_);
  return -1;
}

bool TXLSAtomicFileStream::Commit() {
  if (fd_ < 0) return false;
  bool ok = error_.empty() && FlushBuffer();
  if (ok && fsync(fd_) != 0) {
    Fail("Cannot write file");
    ok = false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0 && ok) {
    Fail("Cannot write file");
    ok = false;
  }
  if (ok && rename(temp_.c_str(), path_.c_str()) != 0) {
    Fail("Cannot replace file");
    ok = false;
  }
  if (ok) temp_.clear();
  Discard();
  return ok;
}

}  // namespace xls
