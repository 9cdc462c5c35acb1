// The three report layouts the print commands fill: the parameter list (TParRpt), the
// comparison list (TCompRpt) and the three-across list of codes and values (TExcelRpt). Each
// holds its bands and controls as laid out here; the print commands set the texts, remove or
// move columns and bind the data texts to the print tables.
#pragma once

#include "platform/report/banded_report.h"

namespace ui {

class TParRpt : public platform::report::TBandedReport {
 public:
  TParRpt();
};

class TCompRpt : public platform::report::TBandedReport {
 public:
  TCompRpt();
};

class TExcelRpt : public platform::report::TBandedReport {
 public:
  TExcelRpt();
  static constexpr int kRowsPerPage = 43;
};

}  // namespace ui
