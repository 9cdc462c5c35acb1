// Filling 655,360 numeric cells of a worksheet: the time, and the heap bytes each cell costs
// (cell record plus its share of the page tree and row entries; target: at most 64).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace {

constexpr int kCells = 655360;

std::size_t HeapInUse() { return mallinfo2().uordblks; }

// columns: cells per row (655,360 / columns rows).
void Fill(benchmark::State& state, int columns) {
  const int rows = kCells / columns;
  double bytesPerCell = 0;
  for (auto _ : state) {
    state.PauseTiming();
    xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
    xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
    xls::TXLSCellHeap& heap = sheet->Cells();
    std::size_t before = HeapInUse();
    state.ResumeTiming();
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < columns; ++c) {
        xls::TXLSCellRef* cell = heap.GetOrCreateCell(r, c);
        cell->SetKind(xls::kCellNumber);
        cell->SetNumber(r * 0.5 + c);
      }
    }
    state.PauseTiming();
    bytesPerCell = static_cast<double>(HeapInUse() - before) / kCells;
    book.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_cell"] = bytesPerCell;
  state.SetItemsProcessed(state.iterations() * kCells);
}

// The same through the cell-value setter that ranges use.
void FillThroughValues(benchmark::State& state) {
  const int columns = 10, rows = kCells / columns;
  for (auto _ : state) {
    state.PauseTiming();
    xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
    xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
    state.ResumeTiming();
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < columns; ++c) {
        xls::TXLSCellRef* cell = sheet->Cells().GetOrCreateCell(r, c);
        xls::TXLSCellRef::SetValue(*cell, *sheet, xls::Variant(r + 0.25));
      }
    }
    state.PauseTiming();
    book.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kCells);
}

void BM_Fill256Columns(benchmark::State& state) { Fill(state, 256); }
void BM_Fill10Columns(benchmark::State& state) { Fill(state, 10); }

BENCHMARK(BM_Fill256Columns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fill10Columns)->Unit(benchmark::kMillisecond);
BENCHMARK(FillThroughValues)->Unit(benchmark::kMillisecond);

}  // namespace
