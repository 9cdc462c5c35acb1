// The workbook's open entry points and its macro project, over the reader.
#include "xls/io/reader/vba_project.h"
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

TXLSVBAProject* TXLSWorkbook::GetVBAProject() {
  if (!vbaProject_ && vbaStorage_) {
    auto project = std::make_shared<TXLSVBAProject>();
    if (project->SetStorage(vbaStorage_.get()) != 1) return nullptr;
    vbaProject_ = std::move(project);
  }
  return vbaProject_.get();
}

}  // namespace xls
