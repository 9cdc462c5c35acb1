// A sheet's autofilter: the filtered range (a header row over a band of columns), one criteria
// item per column and the drop-down arrow each column shows in its header cell (a combo-box
// shape of the sheet's drawing, reached through callbacks). Written as FILTERMODE,
// AUTOFILTERINFO and AUTOFILTER records; AUTOFILTER records are read back into the items.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "xls/formula/rules/rule_ranges.h"
#include "xls/formula/rules/rule_records.h"
#include "xls/model/blob.h"
#include "xls/model/variant.h"

namespace xls {

class TMSOShapeComboBox;

enum : std::uint16_t {
  kRecFilterMode = 0x009B, kRecAutofilterInfo = 0x009D, kRecAutofilter = 0x009E,
  kRecAutofilter12 = 0x087E, kRecContinueFrt12 = 0x087F,
};

// One condition of a column.
struct TXLSAutofilterDOPER {
  enum ValueType : std::uint8_t {
    kNone = 0, kInteger = 2, kDouble = 4, kString = 6, kBoolErr = 8, kBlanks = 12, kNonBlanks = 14,
  };
  std::uint8_t valueType = kNone;
  std::uint8_t comparison = 0;  // 2 equal
  // kInteger an integer, kDouble a double, kString the text, kBoolErr a Boolean or an error
  // code (Variant::Error).
  Variant value;
  // The 8 value bytes of a type that has no value form, written back as read.
  std::array<std::uint8_t, 8> raw{};

  // The 10 bytes of the condition; a string's characters follow the record's fixed part
  // (stringCount of them; -1 the UTF-16 count).
  void Write(TXLSBlob& out, std::int32_t stringCount = -1) const;
  // From the 10 bytes at position; a string's text is read later.
  void Read(const TXLSBlob& data, std::uint32_t position);
  // The characters a string condition writes (at most 255, its count is one byte).
  std::u16string StringText() const;
};

struct TXLSAutofilterItem {
  TMSOShapeComboBox* dropDown = nullptr;  // the drawing's shape, not owned
  std::uint8_t join = 0;                  // bits 0-1 of the option word
  // Bits 4-6 of the option word as bits 0-2: top-10 filter on, top rather than bottom, percent.
  std::uint8_t top10Flags = 0;
  std::uint16_t top10Count = 10;
  std::optional<TXLSAutofilterDOPER> condition1, condition2;
  // Read from an AUTOFILTER record: written again with or without conditions it can hold (a
  // newer filter leaves both empty and says what it is in its AUTOFILTER12 records).
  bool read = false;
  // The AUTOFILTER12 records of the column and the CONTINUEFRT12 records after each (id and
  // body), written back as read by BIFF8 saves.
  std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> records12;

  bool HasCriteria() const {
    return top10Flags != 0 || (condition1 && condition1->valueType != TXLSAutofilterDOPER::kNone);
  }
};

class TXLSAutofilter {
 public:
  // The drawing's side: a drop-down shape made in a header cell (0-based), one removed and
  // freed, and one placed in another header cell. Unset while the sheet has no drawing; the
  // filter then has no drop-downs.
  struct DropDowns {
    std::function<TMSOShapeComboBox*(std::int32_t row, std::int32_t column)> add;
    std::function<void(TMSOShapeComboBox* shape)> remove;
    std::function<void(TMSOShapeComboBox* shape, std::int32_t row, std::int32_t column)> place;
  };

  TXLSAutofilter() = default;
  ~TXLSAutofilter();
  TXLSAutofilter(const TXLSAutofilter&) = delete;
  TXLSAutofilter& operator=(const TXLSAutofilter&) = delete;
  void SetDropDowns(DropDowns dropDowns) { dropDowns_ = std::move(dropDowns); }

  bool IsActive() const { return columnCount_ >= 1 && firstColumn_ >= 1 && headerRow_ > 0; }
  // 1-based. An active filter is cleared first, its drop-downs removed; then one item and one
  // drop-down per column.
  void SetRange(std::int32_t headerRow, std::int32_t firstColumn, std::int32_t lastColumn, std::int32_t lastRow);
  void ClearItems(bool removeShapes);
  void SetColumnCount(std::int32_t count);
  // The range of a filter read from a file, from its filter database (1-based): a filter that
  // is not active takes the whole range, keeping the items already read when their count
  // matches; an active one (its header cell known from its drop-downs) only takes the last row
  // and column it lacks, and the columns its filter database has beyond AUTOFILTERINFO's count
  // (with the drop-downs read in their header cells). No drop-downs are made.
  void SetArea(std::int32_t headerRow, std::int32_t firstColumn, std::int32_t lastColumn, std::int32_t lastRow);
  // A filter read from a file that keeps no drop-down shapes (BIFF5): each column without one
  // gets one.
  void AddMissingDropDowns();
  // A drop-down read from a file (0-based header cell).
  void SetDropDown(std::int32_t row, std::int32_t column, TMSOShapeComboBox* shape);
  // Inserted and deleted cells (0-based band, -1 open). The filter follows its header cells: a
  // band that moves them moves the filter and its drop-downs; rows moved inside the filter's
  // body move its last row; columns inserted inside it widen it by new columns without
  // criteria. Deleted columns (the band reaches from the header row to the filter's last row)
  // take their criteria and drop-downs with them and the filter shrinks; it is switched off only
  // when every column of it goes, or when the band takes header cells but not whole columns.
  // A deleted band that takes the last row ends the filter above it.
  void ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta);
  void DeleteRect(const TRuleBand& band);
  // An AUTOFILTER record's data (version 0x0500 or 0x0600); 1, or -1 for a short record.
  int ReadItem(const TXLSBlob& data, int version);
  // A FILTERMODE record read: the sheet's rows were filtered when the file was saved.
  void SetFilterModeAsRead() { filterModeAsRead_ = true; }
  // An AUTOFILTER12 record (kept with the column its entry names) or a CONTINUEFRT12 record
  // (kept with the AUTOFILTER12 before it); others are passed over.
  void KeepRecord12(std::uint16_t id, std::vector<std::uint8_t> body);

  // FILTERMODE, AUTOFILTERINFO and the AUTOFILTER records (format 1 BIFF5, 2 BIFF8) into the
  // sink; 1, or the sink's failure. bytes grows by what was written.
  std::unique_ptr<TXLSBlob> WriteFilterMode() const;
  std::unique_ptr<TXLSBlob> WriteAutofilterInfo() const;
  int WriteItems(const TRuleRecordSink& sink, std::int64_t& bytes, int format, int codePage = 1252) const;
  int WriteRecords(const TRuleRecordSink& sink, std::int64_t& bytes, int format, int codePage = 1252) const;

  std::int32_t ColumnCount() const { return columnCount_; }
  std::int32_t HeaderRow() const { return headerRow_; }
  std::int32_t FirstColumn() const { return firstColumn_; }
  std::int32_t LastRow() const { return lastRow_; }
  std::int32_t LastColumn() const { return lastColumn_; }
  // 0-based column within the filter; nullptr outside it.
  TXLSAutofilterItem* Item(std::int32_t i) const;

 private:
  std::int32_t columnCount_ = 0;
  std::int32_t headerRow_ = -1, firstColumn_ = -1, lastRow_ = 0, lastColumn_ = 0;
  // Drop-downs read in header cells right of the counted columns (0-based column), until the
  // filter database gives the filter its width.
  std::vector<std::pair<std::int32_t, TMSOShapeComboBox*>> furtherDropDowns_;
  void PlaceDropDowns();
  // Deleted columns d1..d2 (0-based, inside the filter) and the first deleted column of the band.
  void RemoveColumns(std::int32_t d1, std::int32_t d2, std::int32_t bandFirstColumn);
  // count new columns without criteria before the filter's column at (0-based) index.
  void InsertColumns(std::int32_t index, std::int32_t count);

  std::vector<std::unique_ptr<TXLSAutofilterItem>> items_;
  DropDowns dropDowns_;
  bool filterModeAsRead_ = false;
  TXLSAutofilterItem* lastItem12_ = nullptr;  // the column of the AUTOFILTER12 read last
};

}  // namespace xls
