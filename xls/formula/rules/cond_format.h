// A sheet's conditional formats: each format is a list of cell rectangles and a list of rules
// (compare the cell's value, or a formula) with the formatting they apply, kept as read from
// CONDFMT and CF records and written back as such. Deleted and shifted cells cut and move the
// rectangles.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "xls/formula/rules/rule_formulas.h"
#include "xls/formula/rules/rule_ranges.h"
#include "xls/formula/rules/rule_records.h"
#include "xls/model/blob.h"

namespace xls {

class TXLSCalculator;
class TXLSCompiledFormula;
class TXLSExternSheet;

enum : std::uint16_t { kRecCondFmt = 0x01B0, kRecCF = 0x01B1 };

// One CF record.
struct TCondFormatRule {
  std::uint16_t conditionType = 0;  // 1 compare the cell's value, 2 formula
  std::uint16_t comparison = 0;
  // The formatting flags; bits 26 to 30 announce the font, alignment, border, pattern and
  // protection blocks.
  std::uint32_t options = 0;
  // The second flag word of the formatting (which blocks are user-defined).
  std::uint16_t formatFlags = 0;
  std::unique_ptr<TXLSCompiledFormula> formula1, formula2;
  // The bytes of the formatting blocks, as read.
  std::unique_ptr<TXLSBlob> blocks;

  TCondFormatRule();
  ~TCondFormatRule();
};

struct TCondFormat {
  std::vector<TCondRange> ranges;
  std::optional<TCondRange> bounds;  // none while there are no ranges
  std::vector<std::unique_ptr<TCondFormatRule>> rules;
  std::uint16_t recalc = 0;  // the CONDFMT option word: recalculation flag (bit 0), the format's number
};

class TCondFormatter {
 public:
  TCondFormatter(TXLSCalculator& calc, std::int32_t sheetId) : calc_(calc), sheetId_(sheetId) {}

  // A CONDFMT or CF record group (chunk 0 the record, then its CONTINUE records); 1 or -1.
  int ReadRecord(std::uint16_t id, const TXLSBlobList& group);
  // The CONDFMT and CF records; the bytes written (headers included), or -1 when the sink fails.
  std::int64_t Write(const TRuleRecordSink& sink);
  void DeleteRect(const TRuleBand& band);
  void ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta);
  // The formulas after cells of the sheet (index movedSheet) moved, this sheet (ownSheet) or
  // another one: called once the rectangles have moved.
  void MoveFormulas(const TRuleMove& move, bool ownSheet, std::int32_t movedSheet, const TXLSExternSheet& externs);

  std::int32_t Count() const { return static_cast<std::int32_t>(formats_.size()); }
  // 0-based; nullptr outside the list.
  const TCondFormat* Item(std::int32_t i) const;

 private:
  int ReadCondFmt(const TXLSBlob& data);
  int ReadCF(const TXLSBlob& data);
  void Apply(const TRuleBand& band, bool move, std::int32_t rowDelta, std::int32_t columnDelta);

  TXLSCalculator& calc_;
  std::int32_t sheetId_;
  std::vector<std::unique_ptr<TCondFormat>> formats_;
  TCondFormat* current_ = nullptr;  // the format being read
};

}  // namespace xls
