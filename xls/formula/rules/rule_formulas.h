// The formulas of conditional formats and data validations moved with the cells they refer to
// when cells are inserted or deleted, the way cell formulas are. A rule formula's relative
// references are offsets from the cell that uses it (the records' ptgRefN and ptgAreaN), so
// they are taken at one cell of the rule before the edit and given back at the place that cell
// moved to.
#pragma once

#include <cstdint>

#include "xls/formula/rules/rule_ranges.h"

namespace xls {

class TXLSCompiledFormula;
class TXLSExternSheet;

// One insertion or deletion: the cells of the band (0-based, -1 open) moved by the deltas.
struct TRuleMove {
  TRuleBand band;
  std::int32_t rowDelta = 0, columnDelta = 0;
};

// Where the cell now at row/column was before the move.
void OldPosition(const TRuleMove& move, std::int32_t& row, std::int32_t& column);

// Where a rule formula is: on the sheet whose cells moved (sheet index movedSheet, 1-based) or on
// another sheet, and one cell of its rule at its new place and before the move.
struct TRuleFormulaPlace {
  bool ownSheet = true;
  std::int32_t movedSheet = 0;
  std::int32_t row = 0, column = 0;        // after the move
  std::int32_t oldRow = 0, oldColumn = 0;  // before it
};

// The place of a rule whose rectangles have the bounds after the move: their top-left cell.
TRuleFormulaPlace RulePlace(const TRuleMove& move, bool ownSheet, std::int32_t movedSheet, const TCondRange& bounds);

// References on the moved sheet follow their cells (a deleted cell becomes #REF!, an area grows
// or shrinks), references elsewhere stay.
void MoveRuleFormula(TXLSCompiledFormula& formula, const TRuleMove& move, const TRuleFormulaPlace& place,
                     const TXLSExternSheet& externs);

}  // namespace xls
