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

// A picture of a sheet as the RTF document shows it: anchored at its top-left cell (0-based),
// the bytes of a JPEG (blip type 5), PNG (6) or device-independent bitmap (7: a
// BITMAPINFOHEADER and its bits, no file header), and the size it is shown at in points (0:
// the picture's own size at 96 pixels per inch).
struct TXLSRTFPicture {
  std::int32_t row = 0, column = 0;
  std::int32_t blipType = 0;
  std::vector<std::uint8_t> bytes;
  double widthPoints = 0, heightPoints = 0;
};

// {\pict, the blip word (\jpegblip, \pngblip, \dibitmap0), \picw/\pich (pixels, where the
// bytes tell them) and \picwgoal/\pichgoal (twips), then the bytes in hexadecimal with a line
// break before every 127th; empty for another blip type.
std::string RtfPicture(const TXLSRTFPicture& picture);

class TXLSRTFExport {
 public:
  // Gives the width in characters of a column (0-based) of a sheet in place of the sheet's
  // own column width.
  using ColumnWidthCallback = std::function<double(IXLSWorksheet& sheet, std::int32_t column)>;

  void SetColumnWidthCallback(ColumnWidthCallback callback) { columnWidth_ = std::move(callback); }
  // The pictures of a sheet; each is written in the cell it is anchored at (the first one
  // there when several share a cell) when that cell lies in the used range.
  using PictureSource = std::function<std::vector<TXLSRTFPicture>(IXLSWorksheet& sheet)>;
  void SetPictureSource(PictureSource source) { pictures_ = std::move(source); }

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
  PictureSource pictures_;
};

}  // namespace xls
