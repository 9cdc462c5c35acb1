// Helpers for the workbook model tests: a fresh recount of every format and string use that
// cells, rows and columns hold, compared with the counts the lists keep.
#pragma once

#include <gtest/gtest.h>

#include <map>

#include "xls/model/string_table.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls::testing {

inline void ExpectBalancedUses(TXLSWorkbook& book) {
  std::map<std::int32_t, std::int32_t> xfUses, stringUses;
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (std::int32_t i = 1; i <= sheets.GetCount(); ++i) {
    IXLSWorksheet* s = sheets.GetItem(i);
    s->Cells().ForEach([&](const TXLSCellRef& cell) {
      ++xfUses[cell.XF()];
      if (cell.Kind() == kCellString) ++stringUses[cell.StringIndex()];
    });
    const TXLSColumnInfoList& cols = s->ColumnInfo();
    for (std::int32_t c = 0; c <= 255; ++c) {
      if (const TXLSColumnInfo* e = cols.GetEntry(c)) ++xfUses[e->xf];
    }
    const TXLSRowInfoList& rows = s->RowInfo();
    for (std::int32_t r = 0; r <= 65535; ++r) {
      if (const TXLSRowInfo* e = rows.Find(r)) ++xfUses[e->xf];
    }
  }
  TXLSXFList& xfs = book.XFList();
  for (std::int32_t i = TXLSXFList::kFixedXFs; i < xfs.Count(); ++i) {
    EXPECT_EQ(xfs.GetUseCount(i), xfUses[i]) << "uses of XF " << i;
  }
  TXLSStringTable& sst = book.StringTable();
  std::int32_t total = 0;
  for (std::int32_t i = 1; i <= sst.Count(); ++i) {
    EXPECT_EQ(sst.GetUseCount(i), stringUses[i]) << "uses of string " << i;
    total += stringUses[i];
  }
  EXPECT_EQ(sst.TotalUses(), total);
}

}  // namespace xls::testing
