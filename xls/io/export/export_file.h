// The output of an export: a buffered byte stream over a file that replaces its target only
// when the export is complete (a failed export leaves an existing file as it was), and a
// small text buffer that passes what it collects on to a stream in large pieces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/byte_stream.h"

namespace xls {

class TXLSExportFile : public platform::ByteStream {
 public:
  // path in UTF-8.
  explicit TXLSExportFile(std::string path);
  TXLSExportFile(const TXLSExportFile&) = delete;
  TXLSExportFile& operator=(const TXLSExportFile&) = delete;

  bool IsOpen() const { return open_; }
  std::size_t Read(void* buffer, std::size_t count) override;
  std::size_t Write(const void* data, std::size_t count) override;
  // Only the position (0 from the current position) is answered.
  std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;
  // Writes what is buffered and puts the file in place; false with Error() after any failure.
  bool Commit();
  const std::string& Error() const { return error_; }

 private:
  bool Flush();

  platform::AtomicFile file_;
  bool open_ = false;
  bool committed_ = false;
  std::string buffer_;
  std::uint64_t position_ = 0;
  std::string error_;
};

// Text collected for a stream; Flush writes it once it has grown past a threshold (or always
// with force). Good() turns false for good after a short write.
class TXLSTextSink {
 public:
  explicit TXLSTextSink(platform::ByteStream& out) : out_(out) {}
  TXLSTextSink& operator<<(std::string_view text) {
    text_.append(text);
    if (text_.size() >= kThreshold) Flush(false);
    return *this;
  }
  TXLSTextSink& operator<<(char c) {
    text_.push_back(c);
    return *this;
  }
  bool Flush(bool force = true);
  bool Good() const { return good_; }

 private:
  static constexpr std::size_t kThreshold = 1 << 16;
  platform::ByteStream& out_;
  std::string text_;
  bool good_ = true;
};

}  // namespace xls
