// Writing 655,360 numeric cells and 655,360 cells of distinct texts into a workbook and saving
// it as BIFF8 with TXLSWorkbook::SaveAs (the texts also through one range per cell), next to python3-xlwt writing the same content in the same run. Counters:
// xlwt_ratio (xlwt's time over ours; the target is at least 10) and peak_bytes_per_cell (the
// rise of the process's peak resident size over the cell count; the target for numbers is at
// most 64). Each runs with full rows of 256 columns and with rows of 10 columns (where the
// cell store's pages are least filled).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "bench/bench_util.h"
#include "xls/io/workbook_writer.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/string_table.h"
#include "xls/model/variant.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace {

constexpr int kCells = 655360;

// Seconds that xlwt takes for the same content, measured once per mode and shape.
double XlwtSeconds(const std::string& mode, int columns) {
  static std::map<std::string, double> cache;
  const std::string key = mode + std::to_string(columns);
  if (cache.count(key)) return cache[key];
  const std::string out = bench::TempFile("_xlwt_" + key + ".xls");
  const std::string command = "/usr/bin/python3 '" KV_SOURCE_DIR "/bench/xlwt_write.py' " + mode + " " +
                              std::to_string(kCells / columns) + " " + std::to_string(columns) + " '" + out + "'";
  double seconds = 0;
  if (FILE* p = popen(command.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = 0;
    pclose(p);
  }
  std::filesystem::remove(out);
  return cache[key] = seconds;
}

// Seconds from an empty workbook to the saved file (freeing the workbook afterwards is not
// counted, as xlwt's time does not count it either); -1 when the save failed.
template <typename Fill>
double BuildAndSave(Fill& fill, int columns, const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet* sheet = book->GetWorksheets().Add();
  fill(*sheet, kCells / columns, columns);
  if (book->SaveAs(xls::Utf8ToWide(path)) != 1) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The rise of the peak resident size over one build and save.
template <typename Fill>
double PeakBytesPerCell(Fill& fill, int columns, const std::string& path) {
  const long rise =
      bench::PeakRiseInChild([] {}, [&] { return BuildAndSave(fill, columns, path) >= 0; });
  return rise < 0 ? -1 : static_cast<double>(rise) / kCells;
}

template <typename Fill>
void SaveWorkbook(benchmark::State& state, const std::string& mode, Fill fill) {
  const int columns = static_cast<int>(state.range(0));
  const std::string path = bench::TempFile("_" + mode + ".xls");
  double seconds = 0;
  for (auto _ : state) {
    const double taken = BuildAndSave(fill, columns, path);
    if (taken < 0) state.SkipWithError("save failed");
    seconds += taken;
    state.SetIterationTime(taken);
  }
  const double ours = seconds / static_cast<double>(state.iterations());
  state.counters["xlwt_ratio"] = XlwtSeconds(mode, columns) / ours;
  state.counters["peak_bytes_per_cell"] = PeakBytesPerCell(fill, columns, path);
  std::filesystem::remove(path);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kCells);
}

void BM_SaveNumbers(benchmark::State& state) {
  SaveWorkbook(state, "numbers", [](xls::IXLSWorksheet& sheet, int rows, int columns) {
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c)
        xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, c), sheet, xls::Variant(r * 0.25 + c));
  });
}

// "text <n>", made directly as UTF-16 so that the input costs little next to the library.
std::u16string Text(int n) {
  char16_t digits[12];
  int k = 0;
  do {
    digits[k++] = static_cast<char16_t>(u'0' + n % 10);
    n /= 10;
  } while (n > 0);
  std::u16string s = u"text ";
  while (k > 0) s += digits[--k];
  return s;
}

void BM_SaveTexts(benchmark::State& state) {
  SaveWorkbook(state, "texts", [](xls::IXLSWorksheet& sheet, int rows, int columns) {
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c)
        xls::TXLSCellRef::SetValue(*sheet.Cells().GetOrCreateCell(r, c), sheet,
                                   xls::Variant(Text(r * columns + c)));
  });
}

// The same texts through the interface callers use: one range per cell, SetValue, SaveAs.
void BM_SaveTextsPublic(benchmark::State& state) {
  SaveWorkbook(state, "texts", [](xls::IXLSWorksheet& sheet, int rows, int columns) {
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c)
        sheet.GetRangeRC(r + 1, c + 1, r + 1, c + 1)->SetValue(xls::Variant(Text(r * columns + c)));
  });
}

BENCHMARK(BM_SaveNumbers)->Arg(256)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SaveTexts)->Arg(256)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_SaveTextsPublic)->Arg(256)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace
