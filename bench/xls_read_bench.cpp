// Reading a workbook of 655,360 numeric cells and one of 655,360 cells of distinct texts
// (BIFF8, saved by our writer) with TXLSWorkbook::Open, next to python3-xlrd (formatting_info
// on) and LibreOffice reading the same file in the same run. Counters: xlrd_ratio (xlrd's time
// over ours; the target is at least 10), lo_ratio (LibreOffice's time to convert the file to
// CSV, its start-up on an empty workbook subtracted, over ours; the target is above 1) and
// peak_bytes_per_cell (the rise of the peak resident size while reading, over the cell count;
// the target for numbers in full rows is at most 64). Each runs with full rows of 256 columns
// and with rows of 10 columns. BM_ReadLongTexts reads a workbook of about 1.2 MB whose 120
// texts of 3,000 to 7,000 characters each cross CONTINUE records of the SST, each text in 40
// cells; its xlrd_ratio has the target at least 1. BM_ReadFormulas reads a workbook of
// formulas as the format's programs write them: our writer's file of 2,000 rows of nine
// filled-down formulas (references, areas, a lookup into another sheet, a defined name, IF with
// strings, calls nested three deep) and one formula per row that no neighbour shares, as we
// write it (shared:0, every formula in tokens of its own) and converted by LibreOffice (shared:1),
// which writes the filled-down runs as shared formulas (SHRFMLA); its xlrd_ratio has the target
// at least 1, and formula_records / shrfmla_records count what the file holds.
// BM_ReadExcelFormulas reads workbooks built record by record as the format's own program writes
// them (excel_books.h: a large SST, two sheets of 300 or 3,000 rows of 14 formulas each with IF's
// attributes, SUM as an attribute, lookups into a third sheet, another workbook's cells, an add-in
// function, a name, texts with STRING records), filled down as shared formulas (shared:1) or typed
// in one by one (shared:0); its xlrd_ratio has the target at least 1.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "excel_books.h"
#include "xls/formula/names.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/variant.h"
#include "xls/model/workbook.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace {

namespace fs = std::filesystem;
constexpr int kCells = 655360;

std::string TempPath(const std::string& name) {
  return (fs::temp_directory_path() / ("kv_bench_read_" + std::to_string(getpid()) + "_" + name)).string();
}

long ReadStatus(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key)) * 1024;
  return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The workbook files written, removed when the program ends.
struct MadeFiles {
  std::map<std::string, std::string> paths;
  ~MadeFiles() {
    for (const auto& [key, path] : paths) fs::remove(path);
  }
};

// The workbook file of a mode and row width, written once.
std::string Workbook(const std::string& mode, int columns) {
  static MadeFiles files;
  std::map<std::string, std::string>& made = files.paths;
  const std::string key = mode + std::to_string(columns);
  if (made.count(key)) return made[key];
  const std::string path = TempPath(key + ".xls");
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet& sheet = *book->GetWorksheets().Add();
  const int rows = kCells / columns;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const int n = r * columns + c;
      xls::TXLSCellRef& cell = *sheet.Cells().GetOrCreateCell(r, c);
      if (mode == "numbers")
        xls::TXLSCellRef::SetValue(cell, sheet, xls::Variant(r * 0.25 + c));
      else
        xls::TXLSCellRef::SetValue(cell, sheet, xls::Variant(xls::Utf8ToWide("text " + std::to_string(n))));
    }
  }
  if (book->SaveAs(xls::Utf8ToWide(path)) != 1) return {};
  return made[key] = path;
}

double Seconds(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double XlrdSeconds(const std::string& path) {
  double seconds = 0;
  const std::string command =
      "/usr/bin/python3 -c \"import sys, time, xlrd; t = time.time(); "
      "xlrd.open_workbook(sys.argv[1], formatting_info=True); print(time.time() - t)\" '" + path + "'";
  if (FILE* p = popen(command.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &seconds) != 1) seconds = 0;
    pclose(p);
  }
  return seconds;
}

// LibreOffice converting the file to CSV, less the same for an empty workbook (start-up).
double LibreOfficeSeconds(const std::string& path) {
  const std::string dir = TempPath("lo");
  fs::create_directories(dir);
  const std::string soffice = "HOME=" + dir + " soffice --headless --convert-to csv --outdir " + dir + " ";
  const std::string empty = TempPath("empty.xls");
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  book->GetWorksheets().Add();
  book->SaveAs(xls::Utf8ToWide(empty));
  Seconds(soffice + empty + " >/dev/null 2>&1");  // the first start makes the profile
  const double startup = Seconds(soffice + empty + " >/dev/null 2>&1");
  const double full = Seconds(soffice + path + " >/dev/null 2>&1");
  fs::remove_all(dir);
  fs::remove(empty);
  return startup < 0 || full < 0 ? -1 : full - startup;
}

double ReadSeconds(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  if (book->Open(xls::Utf8ToWide(path)) != 1) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Measured in a child process so that memory the allocator kept from earlier runs does not
// hide the rise.
double PeakBytesPerCell(const std::string& path) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    malloc_trim(0);
    ResetPeak();
    const long base = ReadStatus("VmRSS:");
    xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
    long rise = book->Open(xls::Utf8ToWide(path)) == 1 ? ReadStatus("VmHWM:") - base : -1;
    if (write(fds[1], &rise, sizeof rise) != sizeof rise) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  long rise = -1;
  if (child < 0 || read(fds[0], &rise, sizeof rise) != sizeof rise) rise = -1;
  close(fds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return rise < 0 ? -1 : static_cast<double>(rise) / kCells;
}

// The benchmark's reads of the file: their mean time, or -1 when the file is missing.
double MeanReadSeconds(benchmark::State& state, const std::string& path) {
  if (path.empty()) {
    state.SkipWithError("the workbook could not be written");
    return -1;
  }
  double seconds = 0;
  for (auto _ : state) {
    const double taken = ReadSeconds(path);
    if (taken < 0) state.SkipWithError("read failed");
    seconds += taken;
    state.SetIterationTime(taken);
  }
  return seconds / static_cast<double>(state.iterations());
}

void ReadWorkbook(benchmark::State& state, const std::string& mode) {
  const std::string path = Workbook(mode, static_cast<int>(state.range(0)));
  const double ours = MeanReadSeconds(state, path);
  if (ours < 0) return;
  state.counters["xlrd_ratio"] = XlrdSeconds(path) / ours;
  state.counters["lo_ratio"] = LibreOfficeSeconds(path) / ours;
  state.counters["peak_bytes_per_cell"] = PeakBytesPerCell(path);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kCells);
}

void BM_ReadNumbers(benchmark::State& state) { ReadWorkbook(state, "numbers"); }
void BM_ReadTexts(benchmark::State& state) { ReadWorkbook(state, "texts"); }

// 120 texts of words, 3,000 to 7,000 characters long (written as 16-bit characters), each in
// 40 cells of 4-column rows.
constexpr int kLongTexts = 120;
constexpr int kLongTextCells = 40 * kLongTexts;

std::string LongTextsWorkbook() {
  static MadeFiles files;
  if (files.paths.count("long")) return files.paths["long"];
  const std::string path = TempPath("long.xls");
  static const char* const words[] = {"drive ", "motor ", "torque ", "speed ", "ramp ", "fault ", "current ", "brake "};
  std::vector<std::u16string> texts;
  for (int i = 0; i < kLongTexts; ++i) {
    std::string text = std::to_string(i) + " ";
    const std::size_t length = 3000 + static_cast<std::size_t>(i * 977 % 4000);
    for (unsigned k = static_cast<unsigned>(i); text.size() < length; k = k * 1103515245u + 12345u) text += words[(k >> 16) % 8];
    text.resize(length);
    texts.push_back(xls::Utf8ToWide(text));
  }
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet& sheet = *book->GetWorksheets().Add();
  for (int n = 0; n < kLongTextCells; ++n) {
    xls::TXLSCellRef& cell = *sheet.Cells().GetOrCreateCell(n / 4, n % 4);
    xls::TXLSCellRef::SetValue(cell, sheet, xls::Variant(texts[static_cast<std::size_t>(n * 7 % kLongTexts)]));
  }
  if (book->SaveAs(xls::Utf8ToWide(path)) != 1) return {};
  return files.paths["long"] = path;
}

// Our mean read time of `path` against xlrd's best of three (ours is the mean of several reads with a
// warm cache), with the file's size; false when our reads failed.
bool AgainstXlrd(benchmark::State& state, const std::string& path) {
  const double ours = MeanReadSeconds(state, path);
  if (ours < 0) return false;
  double xlrd = XlrdSeconds(path);
  for (int i = 0; i < 2; ++i) xlrd = std::min(xlrd, XlrdSeconds(path));
  state.counters["xlrd_ratio"] = xlrd / ours;
  state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
  return true;
}

void BM_ReadLongTexts(benchmark::State& state) {
  const std::string path = LongTextsWorkbook();
  if (!AgainstXlrd(state, path)) return;
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLongTextCells);
}

// The formula workbook: written by us, then converted by LibreOffice, whose file shares the
// formulas filled down a column (ptgExp cells after a SHRFMLA) as the format's programs do.
constexpr int kFormulaRows = 2000;
constexpr int kFormulaColumns = 10;

// shared: LibreOffice's file; otherwise ours, each formula in its own tokens.
std::string FormulasWorkbook(bool shared) {
  static MadeFiles files;
  if (files.paths.count(shared ? "shared" : "plain")) return files.paths[shared ? "shared" : "plain"];
  const std::string source = TempPath("formulas_plain.xls");
  xls::IXLSWorkbook book = xls::TXLSWorkbook::Create();
  xls::IXLSWorksheet& sheet = *book->GetWorksheets().Add();
  xls::IXLSWorksheet& rates = *book->GetWorksheets().Add();
  auto set = [](xls::IXLSWorksheet& s, int row, int column, const xls::Variant& v) {
    xls::TXLSCellRef::SetValue(*s.Cells().GetOrCreateCell(row, column), s, v);
  };
  for (int r = 0; r < 100; ++r) {
    set(rates, r, 0, xls::Variant(static_cast<double>(r)));
    set(rates, r, 1, xls::Variant(1 + r * 0.01));
  }
  book->GetNames()->Add(u"Rate", u"=Sheet2!$B$1");
  for (int r = 0; r < kFormulaRows; ++r) {
    const std::string n = std::to_string(r + 1);
    set(sheet, r, 0, xls::Variant(r * 0.5));
    set(sheet, r, 1, xls::Variant(static_cast<double>(r % 97)));
    set(sheet, r, 2, xls::Variant(xls::Utf8ToWide("item " + std::to_string(r % 13))));
    const std::string formulas[] = {
        "=A" + n + "*B" + n + "+1",
        "=SUM(A" + n + ":B" + n + ")",
        "=IF(A" + n + ">B" + n + ";\"high\";\"low\")",
        "=ROUND(AVERAGE(A$1:A" + n + ");2)",
        "=VLOOKUP(B" + n + ";Sheet2!$A$1:$B$100;2;FALSE)",
        "=C" + n + "&\" units\"",
        "=IF(ISERROR(A" + n + "/B" + n + ");0;A" + n + "/B" + n + ")*Rate",
        "=MAX(A" + n + ";B" + n + ";-D" + n + ")^2/(1+E" + n + "%)",
        "=IF(AND(A" + n + ">0;B" + n + "<>0);ROUND((A" + n + "*Rate+SUM(D" + n + ":F" + n + ")-MIN(A$1:A" + n +
            "))/B" + n + ";2);IF(OR(A" + n + "<0;B" + n + "=0);\"n/a\";MAX(A" + n + ";B" + n + ";-D" + n + ")^2/(1+E" +
            n + "%)))",
        "=D" + n + "+A" + std::to_string(r * 37 % kFormulaRows + 1) + "+INDEX(Sheet2!$B$1:$B$100;MATCH(B" + n +
            ";Sheet2!$A$1:$A$100;0))",
    };
    for (int k = 0; k < kFormulaColumns; ++k) set(sheet, r, 3 + k, xls::Variant(xls::Utf8ToWide(formulas[k])));
  }
  if (book->SaveAs(xls::Utf8ToWide(source)) != 1) return {};
  files.paths["plain"] = source;
  if (!shared) return source;
  const std::string dir = TempPath("lo_formulas");
  fs::create_directories(dir);
  const bool converted = std::system(("HOME=" + dir + " soffice --headless --convert-to xls:\"MS Excel 97\" --outdir " +
                                      dir + " " + source + " >/dev/null 2>&1").c_str()) == 0;
  const fs::path made = fs::path(dir) / fs::path(source).filename();
  const std::string path = TempPath("formulas.xls");
  std::error_code error;
  if (converted) fs::copy_file(made, path, fs::copy_options::overwrite_existing, error);
  fs::remove_all(dir);
  if (!converted || error) return {};
  return files.paths["shared"] = path;
}

// The records of one id in the file's workbook stream, counted by python3-olefile.
double RecordCount(const std::string& path, int id) {
  double count = -1;
  const std::string command =
      "/usr/bin/python3 -c \"import sys, struct, olefile; d = olefile.OleFileIO(sys.argv[1]).openstream('Workbook')"
      ".read(); p = n = 0\nwhile p + 4 <= len(d):\n  i, s = struct.unpack_from('<HH', d, p); n += i == " +
      std::to_string(id) + "; p += 4 + s\nprint(n)\" '" + path + "'";
  if (FILE* p = popen(command.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &count) != 1) count = -1;
    pclose(p);
  }
  return count;
}

void BM_ReadFormulas(benchmark::State& state) {
  const std::string path = FormulasWorkbook(state.range(0) == 1);
  if (path.empty()) return state.SkipWithError("the workbook could not be written or converted");
  if (!AgainstXlrd(state, path)) return;
  state.counters["formula_records"] = RecordCount(path, 0x0006);
  state.counters["shrfmla_records"] = RecordCount(path, 0x04BC);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kFormulaRows * kFormulaColumns);
}

// The formula-heavy workbooks of the format's own program (excel_books.h): rows of formulas on
// each of two sheets, 14 FORMULA records a row (two long ones typed in every row), the others
// filled down (shared formulas) or typed in.
std::string ExcelFormulasWorkbook(int rows, bool shared) {
  static MadeFiles files;
  const std::string key = std::to_string(rows) + (shared ? "shared" : "typed");
  if (files.paths.count(key)) return files.paths[key];
  const std::string path = TempPath("excel_formulas_" + key + ".xls");
  if (!bench::ExcelBookWriter::Write(path, rows, shared)) return {};
  return files.paths[key] = path;
}

void BM_ReadExcelFormulas(benchmark::State& state) {
  const std::string path = ExcelFormulasWorkbook(static_cast<int>(state.range(0)), state.range(1) == 1);
  if (path.empty()) return state.SkipWithError("the workbook could not be written");
  if (!AgainstXlrd(state, path)) return;
  state.counters["formula_records"] = RecordCount(path, 0x0006);
  state.counters["shrfmla_records"] = RecordCount(path, 0x04BC);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) * 2 * 14);
}

BENCHMARK(BM_ReadNumbers)->Arg(256)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_ReadTexts)->Arg(256)->Arg(10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_ReadLongTexts)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();
BENCHMARK(BM_ReadFormulas)->ArgName("shared")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(20)
    ->UseManualTime();
BENCHMARK(BM_ReadExcelFormulas)->ArgNames({"rows", "shared"})->ArgsProduct({{3000, 300}, {1, 0}})
    ->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();

}  // namespace
