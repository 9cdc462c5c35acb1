// HTML pages of a range, a sheet or a workbook: a fixed-layout table with one CSS class per
// distinct cell format (font, alignment, colours, fill, wrapping, borders), merged areas as
// colspan/rowspan, column widths and custom row heights, and values rendered through their
// number formats. A workbook of several sheets becomes a frameset page beside a folder
// "<name>.files"; each save puts one page per sheet (Sheet001.htm, ...) and a tab strip into a
// subfolder of its own there, which the frameset page refers to.
//
// Pages are UTF-8 throughout, and every text from the workbook (values, sheet names, font
// names) is escaped, so no cell or name can break the page or add markup. A page is written
// in two walks over the cells: the first collects the formats for the style block, the
// second streams the table, so memory grows with the number of formats, not of cells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_stream.h"
#include "xls/formula/cell_text/number_format.h"
#include "xls/model/variant.h"

namespace xls {

class IXLSWorksheet;
class TXLSCellReader;
class TXLSRange;
class TXLSWorkbook;

class TXLSHTMLExport {
 public:
  // One page for the range: 1, or -1 when the stream takes fewer bytes than given.
  std::int32_t WriteRange(const TXLSRange& range, platform::ByteStream& stream);
  // The page as a file (replaced only once it is complete): 1, or -1 when the file cannot
  // be created or written. Names in UTF-16.
  std::int32_t SaveRangeToFile(const TXLSRange& range, const std::u16string& fileName);
  std::int32_t SaveSheetToFile(IXLSWorksheet& sheet, const std::u16string& fileName);
  // One page for one sheet, a frameset with its folder for several, nothing without sheets:
  // 1, or -1 when a file or the folder cannot be made. A set is replaced whole: its sheet
  // pages and tab strip go, complete and flushed, into a new subfolder of "<name>.files", and
  // the frameset page that refers to them replaces the old one in a single rename, after which
  // the old set's subfolder is removed. A failure (or a kill) before that rename leaves the old
  // set whole, and the next save of that page removes what it left. Pages whose names differ
  // only in their extension share the folder: a save removes what its own page referred to and
  // what its own killed saves left, never what another page refers to. Saved through a symbolic
  // link, the page the link leads to is replaced and the folder goes beside it.
  std::int32_t SaveWorkbook(TXLSWorkbook& book, const std::u16string& fileName);
  // The files of the set the last SaveWorkbook put in place (the sheet pages, the tab strip,
  // the frameset page), or none when it left the old set in place.
  const std::vector<std::u16string>& WrittenFiles() const { return written_; }
  // The tab strip, and a frameset page that refers to "<name>.files" itself, as single files.
  std::int32_t WriteTabStrip(TXLSWorkbook& book, const std::u16string& fileName);
  std::int32_t WriteFrameset(TXLSWorkbook& book, const std::u16string& fileName);

  // The CSS rule of a class key: the cell format xf, with the right and bottom edges taken
  // from rightXF and bottomXF when those are 0 or more.
  static std::string GetCellStyle(TXLSCellReader& cells, const std::string& key, std::int32_t xf,
                                  std::int32_t rightXF, std::int32_t bottomXF);
  static std::string GetBorderWidth(std::int32_t weight, std::int32_t lineStyle);
  static std::string GetBorderStyleName(std::int32_t lineStyle);
  // "#RRGGBB" of 0x00BBGGRR.
  static std::string ColorToHTML(std::uint32_t color);
  static std::string GetAlignAttribute(const Variant& value);

 private:
  static std::string TabStripText(TXLSWorkbook& book);
  // folder: the address of the sheet pages' folder relative to the page.
  static std::string FramesetText(TXLSWorkbook& book, const std::string& folder);

  TXLSFormater formater_;
  std::vector<std::u16string> written_;
};

}  // namespace xls
