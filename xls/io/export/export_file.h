// The output of an export: files are written through platform::AtomicFileStream (a failed
// export leaves an existing file as it was); the text buffer here passes what it collects on to
// a stream in large pieces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/atomic_file_stream.h"
#include "platform/byte_stream.h"

namespace xls {

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
