// One worksheet's BIFF substream (BIFF8, or BIFF5 for a BIFF5 save), built before anything is
// written so that the workbook writer knows its size. The records are kept in five lists in
// stream order: head (BOF, INDEX), settings (calculation, column and row defaults, print
// settings, protection, DIMENSIONS), cells (ROW blocks with their DBCELL, cell records, merged
// areas), drawing, and tail (margins, header and footer, window, panes, selection, EOF).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/byte_stream.h"
#include "xls/io/row_blocks.h"
#include "xls/model/blob.h"

namespace xls {

class IXLSWorksheet;
class TXLSWorkbook;
class TXLSCellRef;
class TXLSCompiledFormula;
class Variant;

// Little-endian writes into the sheet writer's reused cell-record buffer, which is long enough
// for the longest cell record.
struct TCellBytes {
  std::uint8_t* data;
  std::uint32_t size;
  void AddByte(std::uint32_t v) { data[size++] = static_cast<std::uint8_t>(v); }
  void AddWord(std::uint32_t v) {
    AddByte(v);
    AddByte(v >> 8);
  }
  void AddDWord(std::uint32_t v) {
    AddWord(v);
    AddWord(v >> 16);
  }
  void AddDouble(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    AddDWord(static_cast<std::uint32_t>(bits));
    AddDWord(static_cast<std::uint32_t>(bits >> 32));
  }
  void AddString(const std::string& s) {
    std::memcpy(data + size, s.data(), s.size());
    size += static_cast<std::uint32_t>(s.size());
  }
};

class TXLSSheetWriter {
 public:
  enum ListId { kHead = 0, kSettings, kCells, kDrawing, kTail, kListCount };

  // version: kBiff5 or kBiff8; limit: the record data limit of that format.
  TXLSSheetWriter(IXLSWorksheet& sheet, int version, std::uint16_t limit);
  ~TXLSSheetWriter();
  TXLSSheetWriter(const TXLSSheetWriter&) = delete;
  TXLSSheetWriter& operator=(const TXLSSheetWriter&) = delete;

  // Builds every list; streamOffset is where the sheet's BOF will stand in the workbook
  // stream (INDEX points at absolute DBCELL positions). 1, or the first failing status (a
  // cell that cannot be written among them, with the reason in Error()).
  int WriteSheet(std::uint32_t streamOffset);
  const std::string& Error() const { return error_; }
  // Moves the lists into the workbook stream in order, freeing them as they go. 1, or -1 at
  // the first failed write.
  int WriteLists(platform::ByteStream& out);
  // The substream's size as built (kept when the lists have been written).
  std::uint32_t StreamSize() const { return streamSize_; }
  // Whether some formula was written with a result the calculator did not confirm (one kept
  // from a file that may be stale, or none): the format's program should calculate again.
  bool StaleResults() const { return staleResults_; }
  const TXLSBlobList& List(ListId id) const { return *lists_[id]; }

  // Bounds of the cell records written (-1 while none).
  std::int32_t FirstRow() const { return firstRow_; }
  std::int32_t LastRow() const { return lastRow_; }
  std::int32_t FirstColumn() const { return firstCol_; }
  std::int32_t LastColumn() const { return lastCol_; }

  // The value a number or date cell is written with: its serial in the workbook's date system.
  double CellNumber(const TXLSCellRef& cell) const;

 private:
  // Cell part.
  int WriteCells();
  int ExtendDimensions(std::int32_t row, std::int32_t column);
  std::uint32_t OutputXF(std::int32_t xf) const;
  int AddCellRecord(std::unique_ptr<TXLSBlob> record);
  TCellBytes CellRecord(std::uint16_t id, std::uint32_t length);
  int AddCellRecord(const TCellBytes& record);
  int WriteCell(const TXLSCellRef& cell);
  int WriteNumber(std::int32_t row, std::int32_t column, std::int32_t xf, double value);
  int WriteRK(std::int32_t row, std::int32_t column, std::int32_t xf, std::uint32_t rk);
  int WriteBlank(std::int32_t row, std::int32_t column, std::int32_t xf);
  int WriteBoolErr(std::int32_t row, std::int32_t column, std::int32_t xf, std::uint8_t value,
                   bool error);
  int WriteLabel(std::int32_t row, std::int32_t column, std::int32_t xf, std::int32_t stringIndex);
  // A LABEL record of 8-bit text (BIFF5), at most 255 bytes.
  int WriteAnsiLabel(std::int32_t row, std::int32_t column, std::int32_t xf, const std::string& text);
  // FORMULA with its cached result, then ARRAY for an array formula's anchor and STRING for a
  // text result; the formula's text when it has no tokens in this format.
  int WriteFormula(const TXLSCellRef& cell);
  int WriteFormulaText(const TXLSCellRef& cell);
  int WriteString(const std::u16string& value);
  std::string CellName(std::int32_t row, std::int32_t column) const;
  int WriteMergedArea(const TXLSCellRef& master);
  int WriteMergeCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow,
                      std::int32_t lastColumn);
  void AddToNumberRun(const TXLSCellRef& cell, std::uint32_t rk);
  void AddToBlankRun(const TXLSCellRef& cell);
  int CloseNumberRun();
  int CloseBlankRun();
  void StartBlock(std::int32_t row);
  int EndBlock(std::int32_t row);

  // Other records.
  int WriteSheetRecords(std::uint32_t streamOffset);
  int Add(ListId list, std::unique_ptr<TXLSBlob> record);
  std::unique_ptr<TXLSBlob> BuildHeaderFooter(std::uint16_t id, const std::u16string& left,
                                              const std::u16string& centre,
                                              const std::u16string& right) const;
  std::unique_ptr<TXLSBlob> BuildDimensions() const;
  std::unique_ptr<TXLSBlob> BuildWindow2() const;
  std::unique_ptr<TXLSBlob> BuildSelection() const;
  std::unique_ptr<TXLSBlob> BuildSetup() const;
  std::unique_ptr<TXLSBlob> BuildPageBreaks(bool horizontal) const;
  int WriteBiff5ExternSheets();
  int WriteProtection();

  IXLSWorksheet& sheet_;
  TXLSWorkbook& book_;
  int version_;
  std::uint16_t limit_;
  int codePage_;  // of BIFF5's 8-bit texts
  std::array<std::unique_ptr<TXLSBlobList>, kListCount> lists_;
  std::unique_ptr<TXLSDBCellIndex> index_;
  std::optional<TXLSDBCell> block_;  // the block of rows being written
  std::int32_t firstRow_ = -1, lastRow_ = -1, firstCol_ = -1, lastCol_ = -1;
  bool hasCells_ = false;
  bool staleResults_ = false;
  std::uint32_t streamSize_ = 0;
  std::string error_;
  // Whether the ARRAY record of each array formula met so far can be written.
  std::map<const TXLSCompiledFormula*, bool> writableArrays_;

  struct Run {
    std::int32_t row = 0;
    std::int32_t firstColumn = 0;
    std::int32_t length = 0;
  };
  Run numbers_, blanks_;
  // The RK values and formats of the pending number run, the formats of the blank run.
  std::array<std::uint32_t, 256> runRK_{};
  std::array<std::int32_t, 256> runNumberXF_{};
  std::array<std::int32_t, 256> runBlankXF_{};
  // Cell records are built here; the longest is a MULRK over a whole row, the longest LABEL
  // 523 bytes.
  TXLSBlob scratch_{4 + 6 + 6 * 256};
};

}  // namespace xls
