// Byte streams: the abstract stream and the growable memory stream.
#pragma once

#include <cstdint>
#include <vector>

namespace dataset {

enum SeekOrigin { soBeginning, soCurrent, soEnd };

class Stream {
 public:
  virtual ~Stream() = default;
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  std::int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(std::int64_t pos) { Seek(pos, soBeginning); }
  std::int64_t Size();
  // Reads exactly count bytes or raises.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes (all from the current position when 0) from source.
  std::int64_t CopyFrom(Stream& source, std::int64_t count);
};

class MemoryStream : public Stream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  void SetSize(std::int64_t size);
  void Clear() { data_.clear(); pos_ = 0; }
  std::uint8_t* Memory() { return data_.data(); }
  const std::vector<std::uint8_t>& Bytes() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t pos_ = 0;
};

}  // namespace dataset
