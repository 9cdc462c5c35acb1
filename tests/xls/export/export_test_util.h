// Helpers of the export tests: a workbook with one named sheet and texts of files.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "platform/byte_stream.h"
#include "xls/model/codepage.h"
#include "xls/model/format_objects.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls::testing {

struct Book {
  IXLSWorkbook book = TXLSWorkbook::Create();
  IXLSWorksheet* sheet = nullptr;

  explicit Book(const std::u16string& name = u"Data") {
    sheet = book->GetWorksheets().Add();
    sheet->SetName(name);
  }
  IXLSRange At(const std::u16string& a1) { return sheet->GetRange(a1); }
  IXLSRange At(const std::u16string& a, const std::u16string& b) { return sheet->GetRange(a, b); }
};

// A 12 x 8 PNG in blue.
inline const std::vector<std::uint8_t> kBluePng = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00,
    0x0C, 0x00, 0x00, 0x00, 0x08, 0x08, 0x02, 0x00, 0x00, 0x00, 0x42, 0x86, 0x89, 0xA6, 0x00, 0x00, 0x00, 0x10, 0x49,
    0x44, 0x41, 0x54, 0x78, 0xDA, 0x63, 0x60, 0x60, 0xF8, 0x4F, 0x04, 0x1A, 0xF1, 0x8A, 0x00, 0xED, 0x32, 0x5F, 0xA1,
    0xD9, 0x44, 0xA9, 0xC9, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string Text(const platform::MemoryStream& m) {
  return std::string(m.Bytes().begin(), m.Bytes().end());
}

inline std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace xls::testing
