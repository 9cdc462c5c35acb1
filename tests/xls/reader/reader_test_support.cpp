#include "reader_test_support.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <sys/wait.h>

#include "xls/formula/names.h"
#include "xls/io/drawing/sheet_drawing.h"
#include "xls/formula/workbook_formulas.h"
#include "xls/model/cell_store.h"
#include "xls/model/codepage.h"
#include "xls/model/string_table.h"
#include "xls/model/variant.h"
#include "xls/model/worksheet.h"
#include "xls/model/worksheets.h"
#include "xls/model/xf_list.h"

namespace xls::test {

namespace {

std::string Hex(const std::u16string& text) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char ch : WideToUtf8(text)) {
    out += digits[ch >> 4];
    out += digits[ch & 15];
  }
  return out;
}

std::string CellLine(TXLSWorkbook& book, const IXLSWorksheet& sheet, const TXLSCellRef& cell) {
  char buffer[64];
  std::string value;
  switch (cell.Kind()) {
    case kCellString:
      value = "t " + Hex(book.StringTable().GetString(cell.StringIndex()));
      break;
    case kCellNumber:
    case kCellDate:
      std::snprintf(buffer, sizeof buffer, "n %.17g", cell.SerialValue());
      value = buffer;
      break;
    case kCellBoolean:
      value = "b " + std::to_string(static_cast<int>(cell.Value()));
      break;
    case kCellError:
      value = "e " + std::to_string(static_cast<int>(cell.Value()));
      break;
    case kCellFormula: {
      // A formula cell shows its calculated value, as the cached result xlrd reads.
      Variant v;
      const std::int32_t status = TXLSCellRef::GetValue(cell, sheet, v);
      if (status != 1 && !v.IsError()) v = Variant::Error(status);
      if (v.IsText()) {
        value = "t " + Hex(v.TextValue());
      } else if (v.Type() == VarType::Boolean) {
        value = std::string("b ") + (v.BooleanValue() ? "1" : "0");
      } else if (v.IsError()) {
        value = "e " + std::to_string(v.ErrorCode());
      } else if (v.IsNumber()) {
        std::snprintf(buffer, sizeof buffer, "n %.17g", v.NumberValue());
        value = buffer;
      } else {
        return {};
      }
      break;
    }
    default:
      return {};
  }
  const std::int32_t xf = cell.XF() != 0 ? cell.XF() : sheet.GetCellXF(cell.Row(), cell.Column());
  const TXLSXFList& xfs = book.XFList();
  TXLSXFList& list = book.XFList();
  std::int32_t color = xfs.GetFontColor(xf);
  if (color == -4105) color = 0x7FFF;
  const std::int32_t format = xfs.GetNumFormat(xf);
  std::ostringstream line;
  line << "cell " << cell.Row() << ' ' << static_cast<int>(cell.Column()) << ' ' << value << " | "
       << Hex(xfs.GetFontName(xf)) << ' ' << static_cast<int>(xfs.GetFontSize(xf) * 20 + 0.5) << ' '
       << xfs.GetFontBold(xf) << ' ' << xfs.GetFontItalic(xf) << ' ' << xfs.GetFontUnderline(xf) << ' '
       << color << " | " << xfs.GetHorizontalAlignment(xf) << ' ' << xfs.GetVerticalAlignment(xf) << ' '
       << xfs.GetWrapText(xf) << " | " << Hex(list.NumFormats().GetString(format));
  return line.str();
}

}  // namespace

std::string DumpModel(TXLSWorkbook& book, const std::string& peerDump) {
  std::map<int, std::vector<int>> peerRows;  // sheet -> rows named by the peer
  {
    std::istringstream in(peerDump);
    std::string word;
    int sheet = -1;
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      fields >> word;
      if (word == "sheet") {
        fields >> sheet;
      } else if (word == "row") {
        int r = 0;
        fields >> r;
        peerRows[sheet].push_back(r);
      }
    }
  }
  std::ostringstream out;
  IXLSWorkSheets& sheets = book.GetWorksheets();
  for (int i = 1; i <= sheets.GetCount(); ++i) {
    IXLSWorksheet& sheet = *sheets.GetItem(i);
    out << "sheet " << i - 1 << ' ' << Hex(sheet.GetName()) << '\n';
    std::vector<std::string> merges;
    sheet.Cells().ForEach([&](TXLSCellRef& cell) {
      if (cell.IsMergeMaster()) {
        merges.push_back("merge " + std::to_string(cell.Row()) + ' ' +
                         std::to_string(cell.Row() + cell.Merge()->rows - 1) + ' ' + std::to_string(cell.Column()) +
                         ' ' + std::to_string(cell.Column() + cell.Merge()->columns - 1));
      }
      if (cell.IsMergedNonMaster()) return;
      const std::string line = CellLine(book, sheet, cell);
      if (!line.empty()) out << line << '\n';
    });
    if (TMsoDrawing* drawing = FindDrawing(sheet)) {
      std::map<std::pair<int, int>, std::u16string> notes;
      for (std::size_t n = 1; n <= drawing->Comments().Count(); ++n) {
        const TXLSComment* comment = drawing->Comments().Item(n);
        notes[{comment->GetRow(), comment->GetColumn()}] = comment->GetText();
      }
      for (const auto& [at, text] : notes) out << "note " << at.first << ' ' << at.second << ' ' << Hex(text) << '\n';
    }
    std::set<std::string> sorted(merges.begin(), merges.end());
    for (const std::string& m : sorted) out << m << '\n';
    for (int c = 0; c <= 255; ++c) {
      if (const TXLSColumnInfo* e = sheet.ColumnInfo().GetEntry(c))
        out << "col " << c << ' ' << e->width << ' ' << static_cast<int>(e->hidden) << '\n';
    }
    for (int r : peerRows[i - 1]) {
      const TXLSRowInfo* e = sheet.RowInfo().Find(r);
      const TXLSRowInfo& info = e ? *e : sheet.RowInfo().DefaultRow();
      out << "row " << r << ' ' << info.height << ' ' << static_cast<int>(info.hidden) << '\n';
    }
  }
  if (book.HasFormulas()) {
    TXLSCustomNames& root = book.Formulas().Names();
    auto list = [&](TXLSCustomNames& names, int scope) {
      for (int p = 1; p <= names.Count(); ++p) {
        const TXLSCustomName* n = names.GetByPosition(p);
        if (n->BuiltInCode() >= 0) continue;  // as xlrd_dump.py, the user-defined names only
        out << "name " << scope << ' ' << Hex(n->Name()) << ' ' << n->Hidden() << '\n';
      }
    };
    list(root, -1);
    for (int i = 1; i <= sheets.GetCount(); ++i) {
      if (TXLSCustomNames* child = root.Child(sheets.GetItem(i)->GetSheetId())) list(*child, i - 1);
    }
  }
  return out.str();
}

std::string PeerDump(const std::string& path) {
  std::string output;
  const int status =
      RunCommand("/usr/bin/python3 " + SourceDir() + "/tests/xls/reader/xlrd_dump.py '" + path + "' 2>&1", output);
  return status == 0 ? output : std::string();
}

std::string CompareDumps(const std::string& ours, const std::string& peer) {
  auto lines = [](const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) v.push_back(line);
    return v;
  };
  std::vector<std::string> a = lines(ours), b = lines(peer);
  // Names are listed in different orders: compare them as sets.
  auto splitNames = [](std::vector<std::string>& v) {
    std::multiset<std::string> names;
    std::vector<std::string> rest;
    for (auto& l : v) (l.rfind("name ", 0) == 0 ? (void)names.insert(l) : rest.push_back(l));
    v = rest;
    return names;
  };
  std::multiset<std::string> na = splitNames(a), nb = splitNames(b);
  std::ostringstream diff;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) && shown < 8; ++i) {
    const std::string x = i < a.size() ? a[i] : "<none>", y = i < b.size() ? b[i] : "<none>";
    if (x != y) {
      diff << "line " << i + 1 << "\n  ours: " << x << "\n  xlrd: " << y << '\n';
      ++shown;
    }
  }
  if (na != nb) {
    diff << "names differ\n  ours:";
    for (auto& n : na) diff << " [" << n << ']';
    diff << "\n  xlrd:";
    for (auto& n : nb) diff << " [" << n << ']';
    diff << '\n';
  }
  return diff.str();
}

BiffBuilder& BiffBuilder::Record(std::uint16_t id, const std::vector<std::uint8_t>& body) {
  PutWord(bytes, id);
  PutWord(bytes, static_cast<std::uint32_t>(body.size()));
  bytes.insert(bytes.end(), body.begin(), body.end());
  return *this;
}

BiffBuilder& BiffBuilder::Bof(std::uint16_t type, std::uint16_t version) {
  std::vector<std::uint8_t> b;
  PutWord(b, version);
  PutWord(b, type);
  PutWord(b, 0x0DBB);
  PutWord(b, 0x07CC);
  if (version >= 0x0600) {
    PutDWord(b, 0);
    PutDWord(b, 0x0006);
  }
  return Record(0x0809, b);
}

void PutWord(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutDWord(std::vector<std::uint8_t>& b, std::uint32_t v) {
  PutWord(b, v & 0xFFFF);
  PutWord(b, v >> 16);
}

void PutDouble(std::vector<std::uint8_t>& b, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutDWord(b, static_cast<std::uint32_t>(bits));
  PutDWord(b, static_cast<std::uint32_t>(bits >> 32));
}

void PutString8(std::vector<std::uint8_t>& b, const std::string& s, bool shortLength) {
  if (shortLength)
    b.push_back(static_cast<std::uint8_t>(s.size()));
  else
    PutWord(b, static_cast<std::uint32_t>(s.size()));
  b.push_back(0);
  b.insert(b.end(), s.begin(), s.end());
}

int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::map<std::string, std::string> FileSections(const std::string& output) {
  std::map<std::string, std::string> sections;
  std::istringstream in(output);
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("file ", 0) == 0) current = line.substr(5);
    else if (line.find("javaldx") == std::string::npos) sections[current] += line + "\n";
  }
  return sections;
}

std::string SourceDir() { return KV_SOURCE_DIR; }

}  // namespace xls::test
