// The property of edits (edit_property.h) against xlrd: what it reads of each saved book (the
// cells of every sheet with the cached results of every formula, and where every name points)
// is what our reader reads and what the edits should have made of the names.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "edit_property.h"
#include "platform/atomic_file.h"
#include "xls/model/cell_store.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

// Our reading of a saved book in edit_peer.py's cell lines (cells come in row order).
std::string OurCells(const Bytes& file) {
  IXLSWorkbook book = Open(file);
  std::string out;
  for (std::int32_t s = 1; s <= book->GetWorksheets().GetCount(); ++s) {
    book->GetWorksheets().GetItem(s)->Cells().ForEach([&](TXLSCellRef& cell) {
      bool outside = false;
      Variant v;
      const std::int32_t status = book->GetCellValue(s, cell.Row(), cell.Column(), outside, v);
      char text[96] = "";
      const int n = std::snprintf(text, sizeof text, "cell %d %d %d ", s, cell.Row(), cell.Column());
      if (status != 1 && status >= 0) std::snprintf(text + n, sizeof text - n, "e %d", status);
      else if (status == 1 && v.IsBoolean()) std::snprintf(text + n, sizeof text - n, "b %d", v.BooleanValue() ? 1 : 0);
      else if (status == 1 && v.IsNumber()) std::snprintf(text + n, sizeof text - n, "n %.17g", v.NumberValue());
      else return;
      out += std::string(text) + "\n";
    });
  }
  return out;
}

TEST(EditPropertyInterop, XlrdReadsTheResultsAndNamesOfEditedBooks) {
  const fs::path dir = fs::temp_directory_path() / ("kv_edit_property_" + std::to_string(getpid()));
  fs::create_directories(dir);
  struct Removed {
    fs::path dir;
    ~Removed() { fs::remove_all(dir); }
  } removed{dir};
  std::map<std::string, std::pair<EditRun, Bytes>> files;  // BIFF8 and BIFF5 saves by name
  std::string arguments;
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    const EditRun run = RunEdits(seed, 8);
    for (int format : {8, 5}) {
      const std::string path = (dir / ("edit" + std::to_string(seed) + "_" + std::to_string(format) + ".xls")).string();
      const auto& [_, bytes] = files[path.substr(path.rfind('/') + 1)] = {run, format == 8 ? run.saved : run.saved5};
      ASSERT_TRUE(platform::WriteFileAtomically(path, bytes.data(), bytes.size()));
      arguments += " " + path;
    }
  }
  std::string out;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/edit_peer.py" + arguments + " 2>&1", out), 0)
      << out;
  const std::map<std::string, std::string> peer = FileSections(out);
  for (const auto& [name, file] : files) {
    ASSERT_TRUE(peer.count(name)) << name << "\n" << out;
    std::string cells;
    std::map<std::string, std::string> names;  // of the "name <name> <where>" lines
    std::istringstream lines(peer.at(name));
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("name ", 0) == 0) names[line.substr(5, line.rfind(' ') - 5)] = line.substr(line.rfind(' ') + 1);
      else cells += line + "\n";
    }
    EXPECT_EQ(cells, OurCells(file.second)) << name << ": " << file.first.log;
    EXPECT_EQ(names, ExpectedNames(file.first)) << name << ": " << file.first.log;
  }
}

}  // namespace
}  // namespace xls::test
