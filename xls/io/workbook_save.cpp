// The workbook's own save operations, forwarding to the writer's entry points.
#include "xls/io/workbook_writer.h"
#include "xls/model/workbook.h"

namespace xls {

std::int32_t TXLSWorkbook::SaveAs(const std::u16string& fileName) {
  return SaveWorkbookAs(*this, fileName, GetDefaultSaveFormat());
}

std::int32_t TXLSWorkbook::SaveAsFormat(const std::u16string& fileName, std::int32_t format) {
  return SaveWorkbookAs(*this, fileName, format);
}

std::int32_t TXLSWorkbook::SaveToStream(platform::ByteStream& stream) {
  return SaveWorkbookToStream(*this, stream, GetDefaultSaveFormat());
}

std::int32_t TXLSWorkbook::SaveToStreamFormat(platform::ByteStream& stream, std::int32_t format) {
  return SaveWorkbookToStream(*this, stream, format);
}

std::int32_t TXLSWorkbook::Save() { return SaveWorkbook(*this); }

}  // namespace xls
