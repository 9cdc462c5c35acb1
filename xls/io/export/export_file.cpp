#include "xls/io/export/export_file.h"

namespace xls {

bool TXLSTextSink::Flush(bool force) {
  if (text_.empty() || (!force && text_.size() < kThreshold)) return good_;
  if (good_ && out_.Write(text_.data(), text_.size()) != text_.size()) good_ = false;
  text_.clear();
  return good_;
}

}  // namespace xls
