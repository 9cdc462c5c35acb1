// The save formats of the text exporters and the workbook's save in them, which the BIFF
// writer's save entry points call for formats 3 to 8.
#pragma once

#include <cstdint>
#include <string>

#include "platform/byte_stream.h"

namespace xls {

class TXLSWorkbook;

enum TXLSTextSaveFormat : std::int32_t {
  kTextSaveHtml = 3,
  kTextSaveRtf = 4,
  kTextSaveCsv = 5,
  kTextSaveTsv = 6,
  kTextSaveCsvUnicode = 7,
  kTextSaveTsvUnicode = 8,
};

inline bool IsTextSaveFormat(std::int32_t format) { return format >= kTextSaveHtml && format <= kTextSaveTsvUnicode; }

// Format 3: the HTML pages of the workbook (to a file only); 4: the RTF document of every
// sheet; 5 to 8: the active sheet's used range as CSV or TSV, 8-bit or UTF-16. With a stream
// the output goes there, else to the file. The exporter's result: 1, or -1 (no file name and
// no stream, HTML to a stream, no active sheet, a file or stream that cannot be written; the
// reason in *error when given).
std::int32_t SaveWorkbookAsText(TXLSWorkbook& book, const std::u16string& fileName, platform::ByteStream* stream,
                                std::int32_t format, std::string* error = nullptr);

}  // namespace xls
