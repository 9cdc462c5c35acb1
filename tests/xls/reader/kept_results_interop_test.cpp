// What other programs read of our saves of workbooks built record by record (kept_books.h):
// xlrd the cached results, gnumeric (which shows the cached results) and LibreOffice their
// readings of the cells, olefile the records' bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include <unistd.h>

#include "kept_books.h"
#include "reader_test_support.h"
#include "xls/model/range.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"

namespace xls::test {
namespace {

namespace fs = std::filesystem;

TEST(KeptResultsInterop, OtherProgramsReadWhatTheFileSaid) {
  const fs::path dir = fs::temp_directory_path() / ("kv_kept_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::map<std::string, Bytes> files;
  IXLSWorkbook staleBook = Open(StaleBook());
  files["stale8.xls"] = Saved(*staleBook, 2);
  files["stale5.xls"] = Saved(*staleBook, 1);
  staleBook->GetWorksheets().GetItem(1)->GetRange(u"F9")->SetValue(Variant(1.0));
  files["changed.xls"] = Saved(*staleBook, 2);
  IXLSWorkbook callBook = Open(CallBook());
  files["calls5.xls"] = Saved(*callBook, 1);
  files["calls8.xls"] = Saved(*callBook, 2);
  files["array.xls"] = Saved(*Open(ArrayBook()), 2);
  files["dates.xls"] = Saved(*Book1904(), 2);
  files["dates_again.xls"] = Saved(*Open(files["dates.xls"]), 2);
  std::string args;
  for (const auto& [name, bytes] : files) {
    std::ofstream((dir / name).string(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                 static_cast<std::streamsize>(bytes.size()));
    args += " " + (dir / name).string();
  }
  std::string out;
  const std::string peer = "/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/kept_results_peer.py";
  ASSERT_EQ(RunCommand(peer + args + " 2>&1", out), 0)
      << out;
  std::map<std::string, std::string> seen;
  for (const auto& [path, lines] : FileSections(out)) seen[fs::path(path).filename().string()] = lines;

  // xlrd reads the results cached in the file, gnumeric shows them; LibreOffice calculates
  // these files again when it opens them (B1 and C1 of the stale book are 6 and 7 there, and it
  // has no macro "Comment" nor command functions: #MACRO? is its call of the macro, not a text).
  const std::vector<std::string> stale = {"xlrd B1 n 7.0", "xlrd C1 n 9.0", "gnumeric B1 7", "gnumeric C1 9",
                                          "libreoffice B1 6", "libreoffice C1 7"};
  const std::vector<std::string> dates = {
      "xlrd B1 n 41639.0", "xlrd D1 n 41639.0", "xlrd E1 n 7.0", "xlrd F1 n 2018.0", "xlrd G1 n 41640.0",
      "xlrd H1 n 41646.0", "gnumeric B1 41639", "gnumeric D1 41639", "gnumeric E1 1904/01/08",
      "gnumeric H1 2018/01/08", "libreoffice B1 41639", "libreoffice D1 41639", "libreoffice G1 41640",
      "libreoffice H1 2018-01-08"};
  const std::vector<std::string> calls = {"xlrd B1 n 5.0", "xlrd C1 n 1.0", "gnumeric B1 5", "gnumeric C1 1",
                                          "libreoffice B1 #MACRO?", "record FORMULA C1 4200a380"};
  std::string array = "record ARRAY ";
  const Bytes source = ArrayRecord();
  for (std::size_t i = 6; i < source.size(); ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", source[i]);
    array += hex;
  }
  std::map<std::string, std::vector<std::string>> expected = {
      {"stale8.xls", stale},
      {"stale5.xls", stale},
      {"changed.xls", {"xlrd B1 n 6.0", "xlrd C1 n 7.0", "gnumeric B1 6", "gnumeric C1 7"}},
      {"calls5.xls", calls},
      {"calls8.xls", calls},
      {"array.xls",
       {array, "xlrd B1 n 3.0", "xlrd B3 n 4.0", "xlrd C3 n 3.0", "gnumeric B3 4", "gnumeric C3 3", "libreoffice B1 3",
        "libreoffice B3 4", "libreoffice C3 3"}},
      {"dates.xls", dates},
      {"dates_again.xls", dates},
  };
  expected["calls5.xls"].push_back("record FORMULA B1 2301000000000000000000000000002400c0004202ff00");
  expected["calls8.xls"].push_back("record FORMULA B1 230100000024000000c04202ff00");
  for (const auto& [name, lines] : expected) {
    const std::string& got = seen[name];
    for (const std::string& line : lines)
      EXPECT_NE(got.find(line + "\n"), std::string::npos) << name << ": no \"" << line << "\" in\n" << got;
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace xls::test
