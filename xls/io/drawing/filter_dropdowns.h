// The autofilter's drop-down arrows and a list validation's drop-down as shapes of the sheet's
// drawing: the sheet's autofilter and validations are told how to add and remove them.
#pragma once

#include <cstdint>

namespace xls {

class IXLSWorksheet;
class TMsoDrawing;
class TMsoShapeContainer;
class TXLSRange;

// Lets the sheet's autofilter add and remove its drop-downs in the drawing, and the sheet's
// validations remove the drawing's drop-down of a list validation read from a file.
void ConnectFilterDropDowns(IXLSWorksheet& sheet, TMsoDrawing& drawing);
// The same for the sheet's drawing, when it has one.
void ConnectSheetDropDowns(IXLSWorksheet& sheet);
// A BIFF5 file keeps no drop-down shapes: the sheet's autofilter read from it gets them.
void AddMissingFilterDropDowns(IXLSWorksheet& sheet);
// A drop-down combo box read from a file, in the header cell (0-based) of the autofilter.
void FilterDropDownRead(IXLSWorksheet& sheet, std::int32_t row, std::int32_t column, TMsoShapeContainer* shape);
// TXLSRange::AutoFilter: switches the sheet's autofilter on over the range (header row first),
// with a drop-down in each header cell, or off again when it is on.
void AutoFilterRange(TXLSRange& range);

}  // namespace xls
