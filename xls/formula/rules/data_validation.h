// A sheet's data validations: the DVAL header's fields and one validation per DV record (type
// and options, prompt and error texts, up to two formulas, the cells it covers), kept as read
// and written back as DVAL and DV records. Deleted and shifted cells cut and move the cells.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "xls/formula/rules/rule_formulas.h"
#include "xls/formula/rules/rule_ranges.h"
#include "xls/formula/rules/rule_records.h"
#include "xls/model/blob.h"

namespace xls {

class TXLSCalculator;
class TXLSCompiledFormula;
class TXLSExternSheet;

enum : std::uint16_t { kRecDVal = 0x01B2, kRecDV = 0x01BE };

struct TDataValidation {
  TDVRangeList ranges;
  std::uint32_t options = 0;  // low 4 bits: the data type (3 a list)
  std::u16string promptTitle, errorTitle, promptText, errorText;
  std::unique_ptr<TXLSCompiledFormula> formula1, formula2;

  TDataValidation();
  ~TDataValidation();
  bool IsList() const { return (options & 0x0F) == 3; }
};

class TDataValidator {
 public:
  // Removes the drawing's object with this id (the drop-down arrow of a list validation, which
  // is not kept); unset while the sheet has no drawing.
  using RemoveObject = std::function<void(std::uint32_t objectId)>;

  TDataValidator(TXLSCalculator& calc, std::int32_t sheetId) : calc_(calc), sheetId_(sheetId) {}
  void SetRemoveObject(RemoveObject remove) { removeObject_ = std::move(remove); }

  // The longest titles, prompt and error message the file format holds (in characters).
  static constexpr std::size_t kDVTitleLimit = 32, kDVPromptLimit = 255, kDVErrorLimit = 225;
  // ReadRecord's result for a validation read whole but for the ends of its texts.
  static constexpr int kDVTextsCut = 2;
  // A DVAL or DV record group; 1, kDVTextsCut or -1.
  int ReadRecord(std::uint16_t id, const TXLSBlobList& group);
  // DVAL and the DV records; the bytes written (headers included), or -1 when the sink fails.
  std::int64_t Write(const TRuleRecordSink& sink);
  void DeleteRect(const TRuleBand& band);
  void ShiftCells(const TRuleBand& band, std::int32_t rowDelta, std::int32_t columnDelta);
  // The formulas after cells of the sheet (index movedSheet) moved, this sheet (ownSheet) or
  // another one: called once the rectangles have moved.
  void MoveFormulas(const TRuleMove& move, bool ownSheet, std::int32_t movedSheet, const TXLSExternSheet& externs);

  std::int32_t Count() const { return static_cast<std::int32_t>(validations_.size()); }
  const TDataValidation* Item(std::int32_t i) const;  // 0-based; nullptr outside the list
  std::uint16_t Options() const { return options_; }
  std::uint32_t InputX() const { return inputX_; }
  std::uint32_t InputY() const { return inputY_; }

 private:
  int ReadDV(const TXLSBlob& data, TDataValidation& v);
  void Compact();

  TXLSCalculator& calc_;
  std::int32_t sheetId_;
  std::vector<std::unique_ptr<TDataValidation>> validations_;
  std::uint16_t options_ = 0;
  std::uint32_t inputX_ = 0, inputY_ = 0;
  RemoveObject removeObject_;
};

}  // namespace xls
