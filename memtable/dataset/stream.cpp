#include "memtable/dataset/stream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace dataset {

std::int64_t Stream::Size() {
  std::int64_t pos = Seek(0, soCurrent);
  std::int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void Stream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw std::runtime_error("Stream read error");
}

void Stream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw std::runtime_error("Stream write error");
}

std::int64_t Stream::CopyFrom(Stream& source, std::int64_t count) {
  if (count == 0) count = source.Size() - source.Position();
  std::uint8_t buf[4096];
  std::int64_t left = count;
  while (left > 0) {
    std::int64_t n = std::min<std::int64_t>(left, sizeof buf);
    source.ReadBuffer(buf, n);
    WriteBuffer(buf, n);
    left -= n;
  }
  return count;
}

std::int64_t MemoryStream::Read(void* buffer, std::int64_t count) {
  std::int64_t size = static_cast<std::int64_t>(data_.size());
  if (count <= 0 || pos_ >= size) return 0;
  std::int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<std::size_t>(n));
  pos_ += n;
  return n;
}

std::int64_t MemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > static_cast<std::int64_t>(data_.size())) data_.resize(static_cast<std::size_t>(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(count));
  pos_ += count;
  return count;
}

std::int64_t MemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0 : (origin == soCurrent ? pos_ : static_cast<std::int64_t>(data_.size()));
  pos_ = std::max<std::int64_t>(0, base + offset);
  return pos_;
}

void MemoryStream::SetSize(std::int64_t size) {
  data_.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, size)));
  pos_ = std::min<std::int64_t>(pos_, size);
}

}  // namespace dataset
