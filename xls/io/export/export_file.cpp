#include "xls/io/export/export_file.h"

namespace xls {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;
}

TXLSExportFile::TXLSExportFile(std::string path) : file_(std::move(path)) {
  open_ = file_.Good();
  if (!open_) error_ = file_.Error();
  buffer_.reserve(kBufferSize);
}

std::size_t TXLSExportFile::Read(void*, std::size_t) { return 0; }

bool TXLSExportFile::Flush() {
  const bool ok = buffer_.empty() || file_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
  if (!ok && error_.empty()) error_ = file_.Error();
  return ok;
}

std::size_t TXLSExportFile::Write(const void* data, std::size_t count) {
  if (!open_ || committed_ || !error_.empty()) return 0;
  buffer_.append(static_cast<const char*>(data), count);
  position_ += count;
  if (buffer_.size() >= kBufferSize && !Flush()) return 0;
  return count;
}

std::int64_t TXLSExportFile::Seek(std::int64_t offset, platform::SeekOrigin origin) {
  if (offset == 0 && origin == platform::SeekOrigin::Current) return static_cast<std::int64_t>(position_);
  return -1;
}

bool TXLSExportFile::Commit() {
  if (!open_ || committed_) return false;
  committed_ = true;
  if (error_.empty()) Flush();
  if (!error_.empty()) return false;  // the temporary file goes with the AtomicFile
  const platform::FileResult result = file_.Commit();
  if (!result) error_ = result.error;
  return static_cast<bool>(result);
}

bool TXLSTextSink::Flush(bool force) {
  if (text_.empty() || (!force && text_.size() < kThreshold)) return good_;
  if (good_ && out_.Write(text_.data(), text_.size()) != text_.size()) good_ = false;
  text_.clear();
  return good_;
}

}  // namespace xls
