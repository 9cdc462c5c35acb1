// HTML and RTF export of a sheet of 65,536 rows by 10 columns (numbers, texts, a bold header,
// a number format, borders and a fill: a handful of formats), next to LibreOffice's HTML export
// of the same workbook saved as BIFF8, in the same run. Counters:
//   lo_ratio          LibreOffice's seconds (its start-up, measured on a one-cell workbook,
//                     subtracted) over ours;
//   peak_MB           the rise of our process's peak resident size during the export alone;
//   peak_MB_8k_rows   the same for a sheet of 8,192 rows: equal to peak_MB when memory does
//                     not grow with the rows;
//   lo_peak_MB        LibreOffice's peak resident size for the large workbook.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "bench/bench_util.h"
#include "xls/model/codepage.h"
#include "xls/model/format_objects.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace {

constexpr int kRows = 65536;
constexpr int kColumns = 10;

namespace fs = std::filesystem;

fs::path TempPath(const std::string& name) { return bench::TempFile("_export_" + name); }

xls::IXLSWorkbook MakeBook(int rows) {
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet& sheet = *book->GetWorksheets().Add();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      xls::TXLSCellRef& cell = *sheet.Cells().GetOrCreateCell(r, c);
      if (r == 0) {
        xls::TXLSCellRef::SetValue(cell, sheet, xls::Variant(u"Column " + std::u16string(1, u'A' + c)));
      } else if (c % 3 == 0) {
        xls::TXLSCellRef::SetValue(cell, sheet, xls::Variant(u"row " + xls::Utf8ToWide(std::to_string(r))));
      } else {
        xls::TXLSCellRef::SetValue(cell, sheet, xls::Variant(r * 0.25 + c));
      }
    }
  }
  sheet.GetRangeRC(1, 1, 1, kColumns)->SetFontBold(true);
  sheet.GetRangeRC(2, 2, rows, 2)->SetNumberFormat(u"#,##0.00");
  sheet.GetRangeRC(2, 3, rows, 3)->GetBorders()->SetLineStyle(xls::kLineContinuous);
  sheet.GetRangeRC(2, 5, rows, 5)->GetInterior()->SetColorIndex(6);
  sheet.GetRangeRC(2, 5, rows, 5)->GetInterior()->SetPattern(xls::kPatternSolid);
  sheet.Activate();
  return book;
}

double Export(xls::TXLSWorkbook& book, int format, const fs::path& path) {
  const auto start = std::chrono::steady_clock::now();
  if (book.SaveAsFormat(xls::Utf8ToWide(path.string()), format) != 1) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The rise of the peak resident size over the export alone.
double PeakRiseMB(int rows, int format, const fs::path& path) {
  xls::IXLSWorkbook book;
  const long rise = bench::PeakRiseInChild([&] { book = MakeBook(rows); },
                                           [&] { return Export(*book, format, path) >= 0; });
  return rise < 0 ? -1 : static_cast<double>(rise) / 1048576.0;
}

struct LibreOfficeRun {
  double seconds = -1;
  double peakMB = -1;
};

// soffice converting the workbook to HTML: wall time and the peak resident size of its
// process tree (the rusage of the waited child includes its waited-for descendants).
LibreOfficeRun RunLibreOffice(const fs::path& xls, const fs::path& outDir, const fs::path& profile) {
  LibreOfficeRun run;
  const std::string env = "-env:UserInstallation=file://" + profile.string();
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execlp("soffice", "soffice", "--headless", "--norestore", env.c_str(), "--convert-to", "html", "--outdir",
           outDir.c_str(), xls.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return run;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return run;
}

// LibreOffice's export time less its start-up, and its peak, measured once.
const LibreOfficeRun& LibreOfficeHtml() {
  static LibreOfficeRun result = [] {
    const fs::path dir = TempPath("lo");
    fs::create_directories(dir);
    const fs::path profile = dir / "profile";
    xls::IXLSWorkbook tiny = xls::TXLSWorkbook::Create();
    tiny->GetWorksheets().Add()->GetRange(u"A1")->SetValue(xls::Variant(1.0));
    tiny->SaveAs(xls::Utf8ToWide((dir / "tiny.xls").string()));
    MakeBook(kRows)->SaveAs(xls::Utf8ToWide((dir / "big.xls").string()));
    RunLibreOffice(dir / "tiny.xls", dir / "out", profile);  // the first start makes the profile
    const LibreOfficeRun startup = RunLibreOffice(dir / "tiny.xls", dir / "out", profile);
    LibreOfficeRun big = RunLibreOffice(dir / "big.xls", dir / "out", profile);
    if (startup.seconds >= 0 && big.seconds >= 0) big.seconds -= startup.seconds;
    fs::remove_all(dir);
    return big;
  }();
  return result;
}

void ExportSheet(benchmark::State& state, int format, const char* extension) {
  const fs::path path = TempPath(std::string("out") + extension);
  xls::IXLSWorkbook book = MakeBook(kRows);
  double seconds = 0;
  for (auto _ : state) {
    const double taken = Export(*book, format, path);
    if (taken < 0) state.SkipWithError("export failed");
    seconds += taken;
    state.SetIterationTime(taken);
  }
  const double ours = seconds / static_cast<double>(state.iterations());
  state.counters["bytes_out"] = static_cast<double>(fs::file_size(path));
  state.counters["peak_MB"] = PeakRiseMB(kRows, format, path);
  state.counters["peak_MB_8k_rows"] = PeakRiseMB(8192, format, path);
  const LibreOfficeRun& lo = LibreOfficeHtml();
  state.counters["lo_ratio"] = lo.seconds > 0 ? lo.seconds / ours : -1;
  state.counters["lo_peak_MB"] = lo.peakMB;
  fs::remove(path);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kRows * kColumns);
}

void BM_ExportHtml(benchmark::State& state) { ExportSheet(state, 3, ".htm"); }
void BM_ExportRtf(benchmark::State& state) { ExportSheet(state, 4, ".rtf"); }

BENCHMARK(BM_ExportHtml)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_ExportRtf)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace
