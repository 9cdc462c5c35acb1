// Helpers of the drawing tests: the records of one sheet substream (charts nested inside it
// included), and feeding them into a sheet drawing the way the workbook reader does.
#pragma once

#include <cstdint>
#include <vector>

#include "io_test_support.h"
#include "xls/io/drawing/sheet_drawing.h"

namespace xls::test {

// The records of the sheet whose BOF stands at bofOffset, up to its own EOF.
std::vector<BiffRecord> SheetRecords(const std::vector<BiffRecord>& all, std::uint32_t bofOffset);
// The BOF offsets of the sheets, from the BOUNDSHEET records.
std::vector<std::uint32_t> SheetOffsets(const std::vector<BiffRecord>& all);
// The data of the MSODRAWINGGROUP with its CONTINUE records, one block per record.
std::unique_ptr<TXLSBlobList> DrawingGroupData(const std::vector<BiffRecord>& all);
// Reads a sheet's MSODRAWING, OBJ, TXO, NOTE and chart records into the drawing and finishes the
// read at the sheet's EOF. Parse errors throw as they do for the reader.
void ReadSheetDrawing(const std::vector<BiffRecord>& sheet, TMsoDrawing& drawing);
// The records that the drawing layer writes, in order (MSODRAWING, OBJ, TXO, their CONTINUE
// records, NOTE and the chart records between them).
std::vector<BiffRecord> DrawingPart(const std::vector<BiffRecord>& sheet);

}  // namespace xls::test
