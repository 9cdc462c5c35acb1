// The print commands' work that needs no window: the main window's print tables and the
// reports of the open document filled from them.
#pragma once

#include <memory>

namespace memtable {
class TmvxMemTable;
}
namespace platform::report {
class TBandedReport;
}

namespace ui {

// The print tables with their fields (all strings), empty and open.
std::shared_ptr<memtable::TmvxMemTable> MakePrintTable();
std::shared_ptr<memtable::TmvxMemTable> MakePrint2Table();

// The report of the open document, its rows filled into `printTable`: the parameter list of a
// parameter document, the comparison list of a compare document; null when neither is open.
// Records of a transfer group whose print-set flag is off are left out.
std::unique_ptr<platform::report::TBandedReport> DocumentReport(memtable::TmvxMemTable& printTable);
// The three-across list of codes and values of the open parameter document, filled into
// `print2Table` (43 rows per page, every record printed); null without a parameter document.
std::unique_ptr<platform::report::TBandedReport> ThreeAcrossReport(memtable::TmvxMemTable& print2Table);

}  // namespace ui
