// Calculating workbooks of formulas, next to LibreOffice recalculating the same workbooks (as
// we save them) in the same run: a chain of 65,536 formulas each reading the next, 20,000
// cumulative sums SUM(A$1:An), 1,000 sums over 65,000 cells of one column, 1,000 sums over
// two columns of 32,500 rows, 1,000 sorted VLOOKUPs in a table of 10,000 rows (and in the
// same table with empty rows below it, and in one of ten runs of equal keys), 1,000 exact
// VLOOKUPs (FALSE) in tables of 10,000 rows whose keys are numbers or texts in no order, and
// 1,000 exact VLOOKUPs each in a table of its own. Sums come from running totals of their
// columns; BM_WalkTwoColumns times the walk itself (100 MAXs over the same two columns, which no
// totals give): ns_per_cell. Counters: lo_ratio
// (LibreOffice's calculateAll time over ours, start-up and loading not counted; the target is
// at least 1) and, for the chain, bytes_per_formula (the rise of the peak resident size over
// the formula count, less what the same cells cost holding numbers; the target is at most 200).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/codepage.h"
#include "xls/model/variant.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace {

using Fill = std::function<void(xls::IXLSWorksheet&)>;

std::u16string Text(const std::string& s) { return std::u16string(s.begin(), s.end()); }

void SetFormula(xls::IXLSWorksheet& sheet, int row, int column, const std::string& text) {
  xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(row, column), sheet, xls::Variant(Text(text)));
}

// A chain A1 = A2 + 1, ..., A65535 = A65536 + 1, A65536 = 1: calculating A1 calculates all.
void Chain(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 65535; ++r) SetFormula(sheet, r, 0, "=A" + std::to_string(r + 2) + "+1");
  xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(65535, 0), sheet, xls::Variant(1.0));
}

void CumulativeSums(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 20000; ++r) {
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(r * 0.5));
    SetFormula(sheet, r, 1, "=SUM(A$1:A" + std::to_string(r + 1) + ")");
  }
}

void BigSums(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 65000; ++r)
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(r * 0.25));
  for (int r = 0; r < 1000; ++r) SetFormula(sheet, r, 1, "=SUM(A$1:A$65000)+" + std::to_string(r));
}

// Two columns summed as one rectangle: no running totals of a column give this sum.
void TwoColumnSums(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 32500; ++r) {
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(r * 0.25));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet, xls::Variant(r * 0.5));
  }
  for (int r = 0; r < 1000; ++r) SetFormula(sheet, r, 2, "=SUM(A$1:B$32500)+" + std::to_string(r));
}

// The same cells under 100 MAXs: every cell of the rectangle is walked for each formula.
void TwoColumnMaxima(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 32500; ++r) {
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(r * 0.25));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet, xls::Variant(r * 0.5));
  }
  for (int r = 0; r < 100; ++r) SetFormula(sheet, r, 2, "=MAX(A$1:B$32500)+" + std::to_string(r));
}

// A sorted key column (every third number) with texts beside it, looked up 1,000 times.
void SortedLookups(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 10000; ++r) {
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(r * 3.0));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet,
                               xls::Variant(Text("row " + std::to_string(r))));
  }
  for (int r = 0; r < 1000; ++r)
    SetFormula(sheet, r, 3, "=VLOOKUP(" + std::to_string(r * 29 + 1) + ";$A$1:$B$10000;2)");
}

// The same table as whole columns hold it: empty rows below the keys down to a cell far below
// them (the used area goes on), looked up 1,000 times over 30,000 rows, one key in eleven past
// the last one.
void SortedLookupsBlankBelow(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 10000; ++r) {
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(r * 3.0));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet,
                               xls::Variant(Text("row " + std::to_string(r))));
  }
  xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(29999, 4), sheet, xls::Variant(1.0));
  for (int r = 0; r < 1000; ++r)
    SetFormula(sheet, r, 3, "=VLOOKUP(" + std::to_string(r * 33 + 1) + ";$A$1:$B$30000;2)");
}

// Sorted keys in runs of 1,000 equal ones (ten keys in 10,000 rows), looked up 1,000 times for
// the last row of a run: each lookup meets a key of the run and passes the rest of it.
void SortedLookupsOverRuns(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 10000; ++r) {
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant((r / 1000) * 1.0));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet,
                               xls::Variant(Text("row " + std::to_string(r))));
  }
  for (int r = 0; r < 1000; ++r)
    SetFormula(sheet, r, 3, "=VLOOKUP(" + std::to_string(r % 10) + ";$A$1:$B$10000;2)");
}

// Keys in no order (every third number, scrambled), each beside its text; 1,000 exact lookups
// of which a third find their key (the rest read the whole column before they give #N/A).
void ExactLookups(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 10000; ++r) {
    const int key = (r * 7919) % 10000 * 3;
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(key * 1.0));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet,
                               xls::Variant(Text("row " + std::to_string(r))));
  }
  for (int r = 0; r < 1000; ++r)
    SetFormula(sheet, r, 3, "=VLOOKUP(" + std::to_string(r * 29 + 1) + ";$A$1:$B$10000;2;FALSE)");
}

// The same with text keys, looked up in another letter case.
void ExactTextLookups(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 10000; ++r) {
    const int key = (r * 7919) % 10000 * 3;
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet,
                               xls::Variant(Text("Key" + std::to_string(key))));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet, xls::Variant(r * 1.0));
  }
  for (int r = 0; r < 1000; ++r)
    SetFormula(sheet, r, 3, "=VLOOKUP(\"KEY" + std::to_string(r * 29 + 1) + "\";$A$1:$B$10000;2;FALSE)");
}

// Each of 1,000 exact lookups over a table of its own (the 1,000 rows from its own row down),
// finding the key in the table's middle: no table is looked up twice, so nothing read for one
// lookup serves another.
void ExactLookupsOwnTables(xls::IXLSWorksheet& sheet) {
  auto key = [](int r) { return (r * 7919) % 11000 * 3; };
  for (int r = 0; r < 11000; ++r) {
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(key(r) * 1.0));
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 1), sheet, xls::Variant(r * 1.0));
  }
  for (int r = 0; r < 1000; ++r)
    SetFormula(sheet, r, 3, "=VLOOKUP(" + std::to_string(key(r + 500)) + ";A" + std::to_string(r + 1) + ":B" +
                                std::to_string(r + 1000) + ";2;FALSE)");
}

// Every formula of the sheet calculated under a new stamp; the seconds it took. Formulas that
// fail other than the expected number (lookups that find nothing) are reported.
double CalculateAll(xls::TXLSWorkbook& book, xls::IXLSWorksheet& sheet, int expectedFailures = 0) {
  const auto start = std::chrono::steady_clock::now();
  book.BumpRecalcStamp();
  xls::Variant v;
  std::int32_t failures = 0;
  sheet.Cells().ForEach([&](xls::TXLSCellRef& cell) {
    if (cell.Formula() && xls::TXLSCellRef::GetValue(cell, sheet, v) != 1) ++failures;
  });
  if (failures != expectedFailures)
    std::fprintf(stderr, "%d formulas failed (%d expected)\n", failures, expectedFailures);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// LibreOffice's calculateAll seconds for our saved workbooks, all in one LibreOffice run.
std::map<std::string, double> LibreOfficeSeconds() {
  static std::map<std::string, double> seconds;
  if (!seconds.empty()) return seconds;
  const std::vector<std::pair<std::string, Fill>> books = {
      {"chain", Chain},           {"cumulative", CumulativeSums}, {"bigsums", BigSums},
      {"twocolumns", TwoColumnSums}, {"lookups", SortedLookups}, {"blankbelow", SortedLookupsBlankBelow},
      {"runs", SortedLookupsOverRuns}, {"exact", ExactLookups},
      {"exacttext", ExactTextLookups}, {"owntables", ExactLookupsOwnTables}};
  std::string command = "/usr/bin/python3 '" KV_SOURCE_DIR "/bench/lo_recalc.py'";
  std::vector<std::string> files;
  for (const auto& [name, fill] : books) {
    xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
    xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
    fill(*sheet);
    files.push_back(bench::TempFile("_" + name + ".xls"));
    book->SaveAs(xls::Utf8ToWide(files.back()));
    command += " '" + files.back() + "'";
  }
  if (FILE* p = popen(command.c_str(), "r")) {
    for (const auto& [name, fill] : books) {
      double s = -1;
      if (std::fscanf(p, "%lf", &s) != 1) s = -1;
      seconds[name] = s;
    }
    pclose(p);
  }
  for (const std::string& f : files) std::filesystem::remove(f);
  return seconds;
}

// Peak resident rise of building the chain, in a child process, over its formula count.
// The chain's cells holding numbers instead: what the cells cost without formulas.
void NumberColumn(xls::IXLSWorksheet& sheet) {
  for (int r = 0; r < 65536; ++r)
    xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, 0), sheet, xls::Variant(r * 1.0));
}

// The compiled formulas' share of the chain: its peak resident rise less that of the same cells
// holding numbers, over the formula count.
double BytesPerFormula() {
  auto rise = [](const Fill& fill) {
    return bench::PeakRiseInChild([] {}, [&fill] {
      xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
      fill(*book->GetWorksheets().Add());
      return true;
    });
  };
  const long chain = rise(Chain), numbers = rise(NumberColumn);
  return chain < 0 || numbers < 0 ? -1 : static_cast<double>(chain - numbers) / 65535;
}

void Run(benchmark::State& state, const std::string& name, const Fill& fill, int expectedFailures = 0) {
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
  fill(*sheet);
  double total = 0;
  for (auto _ : state) {
    const double taken = CalculateAll(*book, *sheet, expectedFailures);
    total += taken;
    state.SetIterationTime(taken);
  }
  const double ours = total / static_cast<double>(state.iterations());
  const double lo = LibreOfficeSeconds()[name];
  state.counters["lo_seconds"] = lo;
  state.counters["lo_ratio"] = lo > 0 ? lo / ours : -1;
  if (name == "chain") state.counters["bytes_per_formula"] = BytesPerFormula();

}

void BM_Chain65536(benchmark::State& state) { Run(state, "chain", Chain); }
void BM_CumulativeSums20000(benchmark::State& state) { Run(state, "cumulative", CumulativeSums); }
void BM_Sums1000Over65000(benchmark::State& state) { Run(state, "bigsums", BigSums); }

// The walk alone, without LibreOffice's figure: nanoseconds per cell walked.
void BM_WalkTwoColumns(benchmark::State& state) {
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
  TwoColumnMaxima(*sheet);
  double total = 0;
  for (auto _ : state) {
    const double taken = CalculateAll(*book, *sheet);
    total += taken;
    state.SetIterationTime(taken);
  }
  state.counters["ns_per_cell"] = total / static_cast<double>(state.iterations()) * 1e9 / (100.0 * 65000.0);
}

void BM_Sums1000OverTwoColumns(benchmark::State& state) { Run(state, "twocolumns", TwoColumnSums); }
void BM_SortedVLookup1000In10000(benchmark::State& state) { Run(state, "lookups", SortedLookups); }
void BM_SortedVLookup1000BlankBelow(benchmark::State& state) { Run(state, "blankbelow", SortedLookupsBlankBelow); }
void BM_SortedVLookup1000OverRuns(benchmark::State& state) { Run(state, "runs", SortedLookupsOverRuns); }
// The keys 29r + 1 that are multiples of 3 (r = 1, 4, 7, ...) are found: 667 of 1,000 are #N/A.
void BM_ExactVLookup1000In10000(benchmark::State& state) { Run(state, "exact", ExactLookups, 667); }
void BM_ExactTextVLookup1000In10000(benchmark::State& state) { Run(state, "exacttext", ExactTextLookups, 667); }
void BM_ExactVLookup1000OwnTables(benchmark::State& state) { Run(state, "owntables", ExactLookupsOwnTables); }

BENCHMARK(BM_Chain65536)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CumulativeSums20000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sums1000Over65000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Sums1000OverTwoColumns)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WalkTwoColumns)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortedVLookup1000In10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortedVLookup1000BlankBelow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortedVLookup1000OverRuns)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExactVLookup1000In10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExactTextVLookup1000In10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExactVLookup1000OwnTables)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
