// A workbook, or one sheet, as a Rich Text Format document: every sheet one table (one row per
// row of the used range, one cell per column) with the cells' formatted texts, fonts,
// colours, alignment, borders, shading and merged areas; sheets are separated by page
// breaks. The head (fonts, colours, page layout) is known only once the body has been walked,
// so the body is walked twice, the first time only to number fonts and colours: the document
// streams out without being held in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/byte_stream.h"
#include "xls/formula/cell_text/number_format.h"

namespace xls {

class IXLSWorksheet;
class TXLSRTFStyles;
class TXLSTextSink;
class TXLSWorkbook;

class TXLSRTFExport {
 public:
  // Gives the width in characters of a column (0-based) of a sheet in place of the sheet's
  // own column width.
  using ColumnWidthCallback = std::function<double(IXLSWorksheet& sheet, std::int32_t column)>;

  void SetColumnWidthCallback(ColumnWidthCallback callback) { columnWidth_ = std::move(callback); }

  // 1, or -1 when the file cannot be created or written (an existing file keeps what it
  // held) or the stream takes fewer bytes than given. Names in UTF-16.
  std::int32_t SaveWorkbookToFile(TXLSWorkbook& book, const std::u16string& fileName);
  std::int32_t SaveWorkbookToStream(TXLSWorkbook& book, platform::ByteStream& stream);
  std::int32_t SaveSheetToFile(IXLSWorksheet& sheet, const std::u16string& fileName);
  std::int32_t SaveSheetToStream(IXLSWorksheet& sheet, platform::ByteStream& stream);

 private:
  std::int32_t WriteDocument(const std::vector<IXLSWorksheet*>& sheets, platform::ByteStream& stream);
  // Appends the sheet's table to out (nullptr: only numbers the fonts and colours).
  void WriteSheet(IXLSWorksheet& sheet, TXLSRTFStyles& styles, TXLSTextSink* out);
  double ColumnWidth(IXLSWorksheet& sheet, std::int32_t column);

  TXLSFormater formater_;
  ColumnWidthCallback columnWidth_;
};

}  // namespace xls
