// The property of edits (edit_property.h) against xlrd: what it reads of each saved book, the
// cached results of every formula and the cells of every sheet, and where every name points,
// is what our reader reads and what the edits should have made of the names.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <unistd.h>

#include "edit_property.h"
#include "xls/model/cell_store.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

// Our reading of a saved book in edit_peer.py's cell lines.
std::string OurCells(const Bytes& file) {
  IXLSWorkbook book = Open(file);
  std::set<std::tuple<int, int, int>> seen;
  std::map<std::tuple<int, int, int>, std::string> lines;
  for (std::int32_t s = 1; s <= book->GetWorksheets().GetCount(); ++s) {
    book->GetWorksheets().GetItem(s)->Cells().ForEach([&](TXLSCellRef& cell) {
      bool outside = false;
      Variant v;
      const std::int32_t status = book->GetCellValue(s, cell.Row(), cell.Column(), outside, v);
      char text[64] = "";
      if (status != 1 && status >= 0) std::snprintf(text, sizeof text, "e %d", status);
      else if (status == 1 && v.IsBoolean()) std::snprintf(text, sizeof text, "b %d", v.BooleanValue() ? 1 : 0);
      else if (status == 1 && v.IsNumber()) std::snprintf(text, sizeof text, "n %.17g", v.NumberValue());
      if (*text) lines[{s, cell.Row(), cell.Column()}] = text;
    });
  }
  std::string out;
  for (const auto& [key, text] : lines)
    out += "cell " + std::to_string(std::get<0>(key)) + " " + std::to_string(std::get<1>(key)) + " " +
           std::to_string(std::get<2>(key)) + " " + text + "\n";
  return out;
}

TEST(EditPropertyInterop, XlrdReadsTheResultsAndNamesOfEditedBooks) {
  const fs::path dir = fs::temp_directory_path() / ("kv_edit_property_" + std::to_string(getpid()));
  fs::create_directories(dir);
  struct Removed {
    fs::path dir;
    ~Removed() { fs::remove_all(dir); }
  } removed{dir};
  std::map<std::string, EditRun> runs;
  std::string arguments;
  std::map<std::string, Bytes> files;  // BIFF8 and BIFF5 saves
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    const EditRun run = RunEdits(seed, 8);
    for (int format : {8, 5}) {
      const std::string name = "edit" + std::to_string(seed) + "_" + std::to_string(format) + ".xls";
      files[name] = format == 8 ? run.saved : run.saved5;
      std::FILE* f = std::fopen((dir / name).string().c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(files[name].data(), 1, files[name].size(), f);
      std::fclose(f);
      arguments += " " + (dir / name).string();
      runs[name] = run;
    }
  }
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/edit_peer.py" + arguments + " 2>&1", out), 0)
      << out;
  const std::map<std::string, std::string> peer = FileSections(out);
  for (const auto& [name, run] : runs) {
    ASSERT_TRUE(peer.count(name)) << name << "\n" << out;
    std::string cells, names;
    std::istringstream lines(peer.at(name));
    for (std::string line; std::getline(lines, line);) (line.rfind("cell ", 0) == 0 ? cells : names) += line + "\n";
    EXPECT_EQ(cells, OurCells(files[name])) << name << ": " << run.log;
    std::string expected;
    for (const auto& [n, area] : run.expected) expected += "name " + n + " " + Where(area) + "\n";
    std::istringstream got(names);
    std::map<std::string, std::string> sorted;
    for (std::string line; std::getline(got, line);) sorted[line.substr(5, line.find(' ', 5) - 5)] = line + "\n";
    std::string peerNames;
    for (const auto& [n, line] : sorted) peerNames += line;
    EXPECT_EQ(peerNames, expected) << name << ": " << run.log;
  }
}

}  // namespace
}  // namespace xls::test
