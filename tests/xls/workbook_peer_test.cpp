// A small BIFF8 workbook assembled from the format lists and the shared string table, stored in
// our compound file and read by python3-xlrd: its fonts, cell formats and strings (split over
// CONTINUE records) must come back as written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/compound_file.h"
#include "xls/model/codepage.h"
#include "xls/model/string_table.h"
#include "xls/model/xf_list.h"

namespace xls {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<TXLSBlob> Record(std::uint16_t id, const std::function<void(TXLSBlob&)>& body) {
  auto b = std::make_unique<TXLSBlob>(4);
  b->AddWord(id);
  b->AddWord(0);
  body(*b);
  b->PutWord(b->GetSize() - 4, 2);
  return b;
}

std::unique_ptr<TXLSBlob> Bof(std::uint16_t type) {
  return Record(0x0809, [type](TXLSBlob& b) {
    b.AddWord(0x0600);
    b.AddWord(type);
    b.AddWord(0x18AF);
    b.AddWord(0x07CD);
    b.AddDWord(0x000080C9);
    b.AddDWord(0x00000106);
  });
}

std::string Hex(const std::string& s) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : s) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

TEST(WorkbookPeer, XlrdReadsFormatsAndSplitStrings) {
  TXLSXFList xfs;
  xfs.SetDefaults();
  TXLSStringTable sst;
  struct Cell {
    int row, col, xf, string;
    bool bold;
    int align;
    int height;
    std::u16string text;
  };
  std::vector<Cell> cells;
  std::int32_t bold = xfs.SetFontBold(0, true, false);
  std::int32_t centred = xfs.SetHorizontalAlignment(0, 2, false);
  std::int32_t big = xfs.SetFontSize(centred, 14, false);
  std::int32_t dated = xfs.SetFormatText(0, u"yyyy-mm-dd hh:mm", false);
  const std::int32_t styles[] = {0, bold, centred, big, dated};
  for (int r = 0; r < 120; ++r) {
    std::u16string text = u"row " + Utf8ToWide(std::to_string(r));
    if (r % 7 == 3) text += std::u16string(3000 + static_cast<std::size_t>(r), static_cast<char16_t>(u'a' + r % 26));
    if (r % 5 == 1) text += u" \u00DCber \u20AC \u0416\u4E2D";
    if (r % 11 == 0) text = u"shared";
    std::int32_t xf = styles[r % 5];
    if (xf != 0) xfs.AddUse(xf);
    cells.push_back({r, r % 3, xf, sst.Add(text), r % 5 == 1, (r % 5 == 2 || r % 5 == 3) ? 2 : 0,
                     r % 5 == 3 ? 280 : 200, text});
  }
  xfs.PackIndices();
  sst.NumberStrings();

  TXLSBlobList globals;
  globals.Append(Bof(0x0005).release());
  globals.Append(Record(0x0042, [](TXLSBlob& b) { b.AddWord(1200); }).release());
  for (std::size_t i = 0; i < xfs.Fonts().OutputOrder().size(); ++i)
    globals.Append(xfs.Fonts().BuildFontRecord(static_cast<std::int32_t>(i), kBiff8).release());
  for (std::int32_t i = 0; i < xfs.NumFormats().Count(); ++i)
    if (auto f = xfs.NumFormats().BuildFormatRecord(i, kBiff8)) globals.Append(f.release());
  for (std::size_t i = 0; i < xfs.OutputOrder().size(); ++i)
    globals.Append(xfs.BuildXFRecord(static_cast<std::int32_t>(i), kBiff8).release());
  for (std::int32_t i = 0; i < xfs.Styles().Count(); ++i)
    globals.Append(xfs.Styles().BuildStyleRecord(i, kBiff8).release());
  sst.SetRecordLimit(8224);
  ASSERT_EQ(sst.WriteSST(globals, globals.TotalSize()), 1);
  const std::u16string sheetName = u"Parameters";
  const std::uint32_t boundSheetSize = 4 + 4 + 1 + 1 + 1 + 1 + 2 * static_cast<std::uint32_t>(sheetName.size());
  const std::uint32_t sheetOffset = globals.TotalSize() + boundSheetSize + 4;
  globals.Append(Record(0x0085, [&](TXLSBlob& b) {
    b.AddDWord(sheetOffset);
    b.AddByte(0);
    b.AddByte(0);
    b.AddByte(static_cast<std::uint32_t>(sheetName.size()));
    b.AddByte(1);
    b.AddWideString(sheetName);
  }).release());
  globals.Append(Record(0x000A, [](TXLSBlob&) {}).release());
  ASSERT_EQ(globals.TotalSize(), sheetOffset);
  globals.Append(Bof(0x0010).release());
  globals.Append(Record(0x0200, [](TXLSBlob& b) {
    b.AddDWord(0);
    b.AddDWord(120);
    b.AddWord(0);
    b.AddWord(3);
    b.AddWord(0);
  }).release());
  for (const Cell& c : cells) {
    globals.Append(Record(0x00FD, [&](TXLSBlob& b) {
      b.AddWord(static_cast<std::uint32_t>(c.row));
      b.AddWord(static_cast<std::uint32_t>(c.col));
      b.AddWord(static_cast<std::uint32_t>(xfs.GetOutputIndex(c.xf == 0 ? 15 : c.xf) - 1));
      b.AddDWord(static_cast<std::uint32_t>(sst.GetSSTPosition(c.string)));
    }).release());
  }
  globals.Append(Record(0x000A, [](TXLSBlob&) {}).release());

  platform::CompoundFileWriter w;
  int stream = w.AddStream(0, u"Workbook");
  ASSERT_EQ(globals.WriteToStream(w.Stream(stream)), 1);
  std::string t = (fs::temp_directory_path() / "kv_wb_XXXXXX").string();
  ASSERT_TRUE(mkdtemp(t.data()));
  fs::path file = fs::path(t) / "book.xls";
  ASSERT_TRUE(w.SaveToFile(file.string()));

  std::string command = "/usr/bin/python3 '" + std::string(KV_SOURCE_DIR) + "/tests/xls/xlrd_peer.py' '" + file.string() + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = pclose(p);
  fs::remove_all(t);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "xlrd (python3-xlrd) failed:\n" << out;

  std::set<std::string> expected, got;
  for (const Cell& c : cells) {
    std::ostringstream line;
    line << c.row << ' ' << c.col << ' ' << (c.bold ? 1 : 0) << ' ' << c.align << ' ' << c.height << ' '
         << Hex(WideToUtf8(c.text));
    expected.insert(line.str());
  }
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("fonts ", 0) == 0) {
      // xlrd keeps a place for the BIFF font index 4 that is never written
      EXPECT_EQ(line, "fonts " + std::to_string(xfs.Fonts().OutputOrder().size() + 1));
    } else if (line.rfind("xfs ", 0) == 0) {
      EXPECT_EQ(line, "xfs " + std::to_string(xfs.OutputOrder().size()));
    } else if (line.rfind("formats ", 0) == 0) {
      EXPECT_EQ(line, "formats ['yyyy-mm-dd hh:mm']");
    } else {
      got.insert(line);
    }
  }
  EXPECT_EQ(got, expected) << out.substr(0, 2000);
}

}  // namespace
}  // namespace xls
