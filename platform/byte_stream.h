// A seekable byte stream: the one stream shape that files, memory buffers and the streams
// inside a compound file share, so that writers and readers need not know which one they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {

enum class SeekOrigin { Begin, Current, End };

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Bytes actually read; fewer than asked at the end of the stream or on an error.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // Bytes actually written; fewer than asked on an error (disk full, read-only stream, ...).
  virtual std::size_t Write(const void* data, std::size_t count) = 0;
  // The new position, or -1 when it cannot be reached.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  std::int64_t Size() {
    std::int64_t here = Position();
    std::int64_t end = Seek(0, SeekOrigin::End);
    Seek(here, SeekOrigin::Begin);
    return end;
  }
};

// A stream over a growable byte vector that it owns.
class MemoryStream : public ByteStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  std::size_t Read(void* buffer, std::size_t count) override {
    if (position_ >= bytes_.size()) return 0;
    std::size_t n = std::min(count, bytes_.size() - position_);
    if (n) std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return n;
  }
  std::size_t Write(const void* data, std::size_t count) override {
    if (count == 0) return 0;
    if (position_ == bytes_.size()) {
      // Appending: copied in once, without zeroing the room first.
      const auto* p = static_cast<const std::uint8_t*>(data);
      bytes_.insert(bytes_.end(), p, p + count);
      position_ += count;
      return count;
    }
    if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
    std::memcpy(bytes_.data() + position_, data, count);
    position_ += count;
    return count;
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    std::int64_t base = origin == SeekOrigin::Begin     ? 0
                        : origin == SeekOrigin::Current ? static_cast<std::int64_t>(position_)
                                                        : static_cast<std::int64_t>(bytes_.size());
    std::int64_t target = base + offset;
    if (target < 0) return -1;
    position_ = static_cast<std::size_t>(target);
    return target;
  }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

}  // namespace platform
