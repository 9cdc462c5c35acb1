// A small book for the formula fuzz targets: three sheets and one defined name behind the
// external-reference table's callbacks.
#pragma once

#include <string>

#include "xls/formula/extern_sheet.h"
#include "xls/formula/formula.h"
#include "xls/formula/formula_text.h"

struct FuzzFormulaBook {
  xls::TXLSExternSheet externs;
  xls::TXLSFormula formula{externs};
  xls::TXLSFormulaText writer{formula.Catalogue(), externs};

  // Sheet ids are 10, 11, 12 for sheets 1, 2, 3 with the given names; name id 1 is "Name1".
  explicit FuzzFormulaBook(const std::u16string (&sheets)[3]) {
    xls::TXLSExternCallbacks& cb = externs.Callbacks();
    cb.sheetIdByName = [&sheets](const std::u16string& n) {
      for (int i = 0; i < 3; ++i) {
        if (sheets[i] == n) return 10 + i;
      }
      return -1;
    };
    cb.sheetIndexById = [](int id) { return id >= 10 && id < 13 ? id - 9 : -1; };
    cb.sheetNameByIndex = [&sheets](int i) { return i >= 1 && i <= 3 ? sheets[i - 1] : std::u16string(); };
    cb.nameTextById = [](int id) { return id == 1 ? std::u16string(u"Name1") : std::u16string(); };
    cb.nameOutputIndexById = [](int id) { return id == 1 ? 1 : -1; };
    cb.nameIdByText = [](const std::u16string& t, int) { return t == u"Name1" ? 1 : -1; };
    cb.nextSheetNumber = []() { return 4; };
  }
};
