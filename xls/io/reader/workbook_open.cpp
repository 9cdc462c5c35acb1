// The workbook's open entry points over the reader.
#include "xls/io/reader/workbook_reader.h"
#include "xls/model/workbook.h"

namespace xls {

std::int32_t TXLSWorkbook::OpenWithPassword(const std::u16string& fileName, const std::u16string& password) {
  std::int32_t format = currentFormat_;
  const int status = ReadWorkbookFile(*this, fileName, password, format);
  if (status != 1) return status;
  currentFormat_ = format;
  fileName_ = fileName;
  return 1;
}

std::int32_t TXLSWorkbook::OpenStreamWithPassword(platform::ByteStream& stream, const std::u16string& password) {
  std::int32_t format = currentFormat_;
  const int status = ReadWorkbookStream(*this, stream, password, format);
  if (status != 1) return status;
  currentFormat_ = format;
  fileName_.clear();
  return 1;
}

}  // namespace xls
