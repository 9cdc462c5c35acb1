// File > Export As: the open parameter document as a one-sheet workbook, written through the
// spreadsheet library.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

// Writes the document as a BIFF8 workbook: a bold "Code"/"Value" header, one row per record
// with its code and its value (formatted with its decimals) as texts, an absent value left
// empty, the whole block centred. The save's result (1 on success); error tells why not.
std::int32_t ExportWorkbook(const std::u16string& fileName, std::string& error);

}  // namespace ui
