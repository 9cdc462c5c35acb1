// What a worksheet holds of cell rules: its conditional formats, data validations and
// autofilter, made on first use and kept in the sheet's rules slot. Range operations reach them
// through the slot; the sheet writer, the reader and the workbook's built-in names through the
// functions below.
#pragma once

#include <cstdint>
#include <vector>

#include "xls/formula/rules/autofilter.h"
#include "xls/formula/rules/cond_format.h"
#include "xls/formula/rules/data_validation.h"
#include "xls/model/rules_slot.h"

namespace xls {

class IXLSWorksheet;
class TXLSCalculator;

// Where records the model holds nothing of go when they are written back (BIFF8 only): the
// newer conditional formats (CONDFMT12, CF12, CFEX and their CONTINUEFRT12) after the CONDFMT
// and CF records, the sort order (SORT) after the selection, the shared features (FEATHEADR,
// FEAT) after the sheet's protection.
enum class TKeptPlace { kCondFormats, kSort, kFeatures };

class TXLSSheetRules : public TXLSSheetRulesBase {
 public:
  TXLSSheetRules(TXLSCalculator& calc, std::int32_t sheetId)
      : calc_(calc), sheetId_(sheetId), condFormats_(calc, sheetId), validations_(calc, sheetId) {}

  TCondFormatter& CondFormats() { return condFormats_; }
  TDataValidator& Validations() { return validations_; }
  TXLSAutofilter& Autofilter() { return autofilter_; }
  // A record kept as read; they all describe cells of the sheet where they were, so they go
  // once cells of the sheet are inserted, deleted, moved or cleared (Clear of a range).
  void KeepRecord(TKeptPlace place, std::uint16_t id, std::vector<std::uint8_t> body);
  // The kept records of a place, in the order read; the bytes written, or -1 when the sink fails.
  std::int64_t WriteKept(TKeptPlace place, const TRuleRecordSink& sink) const;

  void DeleteRect(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                  std::int32_t lastRow) override;
  void DeleteCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastColumn,
                   std::int32_t lastRow) override;
  // Rectangles move; then the rule formulas of every sheet follow the moved cells.
  void ShiftCells(std::int32_t firstRow, std::int32_t firstColumn, std::int32_t lastRow, std::int32_t lastColumn,
                  std::int32_t rowDelta, std::int32_t columnDelta) override;

 private:
  TXLSCalculator& calc_;
  std::int32_t sheetId_;
  TCondFormatter condFormats_;
  TDataValidator validations_;
  TXLSAutofilter autofilter_;
  struct Kept {
    TKeptPlace place;
    std::uint16_t id;
    std::vector<std::uint8_t> body;
  };
  std::vector<Kept> kept_;
};

// The sheet's rules, made (with the workbook's calculator) when missing.
TXLSSheetRules& SheetRules(IXLSWorksheet& sheet);
// The sheet's rules, or nullptr while it has none.
TXLSSheetRules* FindSheetRules(const IXLSWorksheet& sheet);

// The CONDFMT/CF and DVAL/DV records of a sheet (BIFF8 only), in that order; the bytes written,
// or -1 when the sink fails.
std::int64_t WriteSheetRuleRecords(const IXLSWorksheet& sheet, const TRuleRecordSink& sink);
// The sheet's kept records of a place (BIFF8 only); the bytes written, or -1 when the sink fails.
std::int64_t WriteSheetKeptRecords(const IXLSWorksheet& sheet, TKeptPlace place, const TRuleRecordSink& sink);
// FILTERMODE, AUTOFILTERINFO and AUTOFILTER of a sheet with an active autofilter (format 1
// BIFF5, 2 BIFF8); 1 or the sink's failure.
int WriteSheetAutofilter(const IXLSWorksheet& sheet, const TRuleRecordSink& sink, int format, int codePage);
// The filter database of a sheet with an active autofilter (0-based and inclusive: header row
// to last row, first to last column); false without one. A filter that holds no last row
// reaches to the sheet's last used row, and at least to the row below the header.
bool SheetFilterDatabase(IXLSWorksheet& sheet, std::int32_t& firstRow, std::int32_t& firstColumn,
                         std::int32_t& lastRow, std::int32_t& lastColumn);

}  // namespace xls
