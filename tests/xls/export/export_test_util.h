// Helpers of the export tests: a workbook with one named sheet and texts of files.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
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
