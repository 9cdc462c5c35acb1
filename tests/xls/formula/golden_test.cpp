// Formulas written by programs no one here wrote: LibreOffice's BIFF8 export and gnumeric's
// BIFF5 export of tests/data/formula/corpus.fods (see the README there). Their token bytes must
// decode to our text of each formula, and our compiler must write LibreOffice's tokens.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "fake_book.h"

namespace xls {
namespace {

using test::Hex;
using test::Unhex;

struct Record {
  int id;
  int sheet;
  std::vector<uint8_t> body;
};

std::vector<Record> ReadRecords(const std::string& name) {
  std::ifstream in(std::string(KV_TEST_DATA) + "/formula/" + name);
  std::vector<Record> out;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string id, hex;
    int sheet = 0;
    s >> id >> sheet >> hex;
    out.push_back({std::stoi(id, nullptr, 16), sheet, Unhex(hex)});
  }
  return out;
}

std::vector<std::string> ReadCorpus() {
  std::ifstream in(std::string(KV_TEST_DATA) + "/formula/corpus.txt");
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line.rfind("# ", 0) == 0) continue;
    out.push_back(line.substr(0, line.find(" => ")));
  }
  return out;
}

unsigned Word(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }

// Size of one token at b[pos] (without memory-token contents, which follow inline).
size_t TokenLength(const std::vector<uint8_t>& b, size_t pos, bool biff8) {
  int t = b[pos];
  int base = t < 0x20 ? t : (t & 0x1F) | 0x20;
  if (!biff8) {
    switch (base) {
      case 0x17: return 2 + b[pos + 1];
      case 0x23: return 15;
      case 0x24: case 0x2A: case 0x2C: return 4;
      case 0x25: case 0x2B: case 0x2D: return 7;
      case 0x39: return 25;
      case 0x3A: case 0x3C: return 18;
      case 0x3B: case 0x3D: return 21;
    }
  }
  switch (base) {
    case 0x19: {
      size_t len = 4;
      if (b[pos + 1] & 0x04) len += (Word(b, pos + 2) + 1) * 2;
      return len;
    }
    case 0x1E: return 3;
    case 0x17: return 3 + b[pos + 1] * ((b[pos + 2] & 1) ? 2 : 1);
    case 0x1F: return 9;
    case 0x1C: case 0x1D: return 2;
    case 0x20: return 8;
    case 0x21: return 3;
    case 0x22: return 4;
    case 0x23: return 5;
    case 0x24: case 0x2A: case 0x2C: return 5;
    case 0x25: case 0x2B: case 0x2D: return 9;
    case 0x26: case 0x27: case 0x28: return 7;
    case 0x29: case 0x2E: case 0x2F: return 3;
    case 0x39: return 7;
    case 0x3A: case 0x3C: return 7;
    case 0x3B: case 0x3D: return 11;
  }
  return 1;
}

// LibreOffice's BIFF8 tokens in the form our compiler writes: optimisation tokens (ptgAttr,
// memory tokens) dropped, tAttrSum as a SUM call, ptgInt as ptgNum, 8-bit strings as UTF-16,
// and ptgArray's unused bytes zeroed. With stripClasses every class is set to reference.
std::vector<uint8_t> Normalise(const std::vector<uint8_t>& b, size_t cce, bool stripClasses,
                               bool biff8 = true) {
  std::vector<uint8_t> out;
  size_t pos = 0;
  while (pos < cce) {
    int t = b[pos];
    int base = t < 0x20 ? t : (t & 0x1F) | 0x20;
    size_t len = TokenLength(b, pos, biff8);
    std::vector<uint8_t> tok(b.begin() + static_cast<long>(pos), b.begin() + static_cast<long>(pos + len));
    switch (base) {
      case 0x19:
        tok.clear();
        if (b[pos + 1] & 0x10) tok = {0x42, 0x01, 0x04, 0x00};
        break;
      case 0x1E: {
        double v = Word(b, pos + 1);
        tok.assign(9, 0);
        tok[0] = 0x1F;
        std::memcpy(tok.data() + 1, &v, 8);
        break;
      }
      case 0x17:
        if (biff8 && !(b[pos + 2] & 1)) {
          tok = {0x17, b[pos + 1], 0x01};
          for (int i = 0; i < b[pos + 1]; ++i) {
            tok.push_back(b[pos + 3 + i]);
            tok.push_back(0);
          }
        }
        break;
      case 0x20:
        std::fill(tok.begin() + 1, tok.end(), 0);
        break;
      case 0x26: case 0x27: case 0x28: case 0x29: case 0x2E: case 0x2F:
        tok.clear();
        break;
    }
    if (stripClasses && !tok.empty() && tok[0] >= 0x20) tok[0] = static_cast<uint8_t>((tok[0] & 0x9F) | 0x20);
    out.insert(out.end(), tok.begin(), tok.end());
    pos += len;
  }
  return out;
}

// A compiler over the sheets, names and external references of the file's globals.
struct FileBook {
  test::FakeBook book;
  TXLSExternSheet externs{book.Callbacks()};
  TXLSFormula formula{externs};
  TXLSFormulaText writer{formula.Catalogue(), externs};
  bool biff8;

  FileBook(const std::vector<Record>& records, bool isBiff8) : biff8(isBiff8) {
    book.sheets.clear();
    book.names.clear();
    formula.SetFileFormat(biff8 ? kFormatBiff8 : kFormatBiff5);
    int sheetNo = 0, nameNo = 0;
    for (const Record& r : records) {
      if (r.sheet != 0) continue;
      const auto& b = r.body;
      if (r.id == 0x0085) {
        unsigned n = b[6];
        std::u16string name;
        bool wide = biff8 && (b[7] & 1);
        size_t at = biff8 ? 8 : 7;
        for (unsigned i = 0; i < n; ++i) {
          name += wide ? static_cast<char16_t>(Word(b, at + 2 * i)) : static_cast<char16_t>(b[at + i]);
        }
        book.sheets.push_back({100 + ++sheetNo, name});
      } else if (r.id == 0x0018) {
        unsigned n = b[3];
        int itab = static_cast<int>(Word(b, 8));
        std::u16string name;
        size_t at = biff8 ? 15 : 14;
        if ((Word(b, 0) & 0x20) == 0) {
          for (unsigned i = 0; i < n; ++i) name += static_cast<char16_t>(b[at + i]);
        }
        ++nameNo;
        book.names.push_back({nameNo, name, itab ? 100 + itab : 0, nameNo});
      } else if (r.id == 0x01AE) {
        externs.SupBook().ReadSupBook(b.data(), b.size());
      } else if (r.id == 0x0023 && biff8) {
        externs.SupBook().ReadExternName(b.data(), b.size());
      } else if (r.id == 0x0023) {
        externs.SupBook().AddInBook();
        externs.SupBook().ReadExternName(b.data(), b.size(), false);
      } else if (r.id == 0x0017 && biff8) {
        for (unsigned i = 0; i < Word(b, 0); ++i) {
          externs.AddFromRecord(static_cast<int>(i + 1), static_cast<int>(Word(b, 2 + 6 * i)),
                                static_cast<int>(Word(b, 4 + 6 * i)),
                                static_cast<int>(Word(b, 6 + 6 * i)));
        }
      }
    }
  }

  std::string Text(const std::vector<uint8_t>& tokens, size_t cce, int row, int col) {
    size_t pos = 0;
    auto tree = formula.DecodeTokens(tokens.data(), tokens.size(), pos, biff8 ? 0x600 : 0x500, cce);
    if (!tree) return "decode";
    std::u16string text;
    if (writer.NodeText(tree.get(), row, col, text) != 1) return "text";
    return WideToUtf8(text);
  }
};

// Corpus lines whose argument classes our function table gives differently from LibreOffice:
// add-in arguments (the table's value class; LibreOffice writes reference class), AND
// (value class in the table) and TRANSPOSE (array result asked as a value).
bool ClassesDiffer(const std::string& text) {
  return text.rfind("ISEVEN", 0) == 0 || text.rfind("EDATE", 0) == 0 || text.rfind("AND", 0) == 0 ||
         text.rfind("TRANSPOSE", 0) == 0;
}

TEST(GoldenFormulas, LibreOfficeBiff8TokensDecodeAndCompileAlike) {
  auto records = ReadRecords("corpus-biff8.records");
  auto corpus = ReadCorpus();
  ASSERT_GT(corpus.size(), 40u);
  FileBook file(records, true);
  ASSERT_EQ(file.book.sheets.size(), 3u);
  file.externs.Renumber();
  size_t checked = 0;
  for (const Record& r : records) {
    if (r.id != 0x0006 || r.sheet != 1) continue;
    int row = static_cast<int>(Word(r.body, 0));
    int col = static_cast<int>(Word(r.body, 2));
    if (col != 7 || row >= static_cast<int>(corpus.size())) continue;
    const std::string& text = corpus[static_cast<size_t>(row)];
    size_t cce = Word(r.body, 20);
    std::vector<uint8_t> theirs(r.body.begin() + 22, r.body.end());
    EXPECT_EQ(file.Text(theirs, cce, row, col), text) << "decoding LibreOffice's " << Hex(theirs.data(), theirs.size());

    auto tree = file.formula.CompileText(Utf8ToWide(text), 0);
    ASSERT_TRUE(tree) << text;
    std::unique_ptr<TXLSBlob> blob;
    ASSERT_EQ(file.formula.Compile(*tree, kRootValue, 101, row, col, blob), 1) << text;
    std::vector<uint8_t> ours(blob->GetData() + 2, blob->GetData() + blob->GetSize());
    size_t ourCce = blob->GetWord(0);
    bool strip = ClassesDiffer(text);
    auto a = Normalise(ours, ourCce, strip);
    a.insert(a.end(), ours.begin() + static_cast<long>(ourCce), ours.end());
    auto b = Normalise(theirs, cce, strip);
    b.insert(b.end(), theirs.begin() + static_cast<long>(cce), theirs.end());
    EXPECT_EQ(Hex(a.data(), a.size()), Hex(b.data(), b.size())) << text;
    ++checked;
  }
  EXPECT_EQ(checked, corpus.size());
}

TEST(GoldenFormulas, LibreOfficeSharedFormulaDecodesPerCell) {
  auto records = ReadRecords("corpus-biff8.records");
  FileBook file(records, true);
  file.externs.Renumber();
  const Record* shared = nullptr;
  for (const Record& r : records) {
    if (r.id == 0x04BC) shared = &r;
  }
  ASSERT_NE(shared, nullptr);
  const auto& s = shared->body;
  int firstRow = static_cast<int>(Word(s, 0)), lastRow = static_cast<int>(Word(s, 2));
  EXPECT_EQ(firstRow, 59);
  EXPECT_EQ(lastRow, 63);
  size_t cce = Word(s, 8);
  std::vector<uint8_t> tokens(s.begin() + 10, s.end());
  int cells = 0;
  for (const Record& r : records) {
    if (r.id != 0x0006 || r.sheet != 1 || r.body[22] != 0x01) continue;  // ptgExp
    int row = static_cast<int>(Word(r.body, 0));
    int col = static_cast<int>(Word(r.body, 2));
    EXPECT_EQ(Word(r.body, 23), static_cast<unsigned>(firstRow)) << "anchor row";
    EXPECT_EQ(file.Text(tokens, cce, row, col), "A" + std::to_string(row + 1) + "*2+$B$1");
    ++cells;
  }
  EXPECT_EQ(cells, 5);
  // The decoded tree written back in offset mode gives the shared tokens again.
  size_t pos = 0;
  auto tree = file.formula.DecodeTokens(tokens.data(), tokens.size(), pos, 0x600, cce);
  ASSERT_TRUE(tree);
  file.formula.SetReferenceMode('B');
  auto blob = file.formula.CompileTree(*tree, kRootValue, 101, firstRow, 7);
  ASSERT_TRUE(blob);
  auto expect = Normalise(tokens, cce, false);
  EXPECT_EQ(Hex(blob->GetData() + 2, blob->GetSize() - 2), Hex(expect.data(), expect.size()));
}

TEST(GoldenFormulas, GnumericBiff5TokensDecodeAndCompileAlike) {
  auto records = ReadRecords("corpus-biff5.records");
  auto corpus = ReadCorpus();
  FileBook file(records, false);
  ASSERT_EQ(file.book.sheets.size(), 3u);
  size_t checked = 0;
  for (const Record& r : records) {
    if (r.id != 0x0006 || r.sheet != 1) continue;
    int row = static_cast<int>(Word(r.body, 0));
    int col = static_cast<int>(Word(r.body, 2));
    size_t cce = Word(r.body, 20);
    std::vector<uint8_t> theirs(r.body.begin() + 22, r.body.end());
    std::string expect;
    if (col == 7 && row < static_cast<int>(corpus.size())) {
      expect = corpus[static_cast<size_t>(row)];
      // gnumeric's own choices: an explicit parenthesis token, IV65536 moved to BIFF5's last
      // row, other row/column flags on the last corner of a whole column, and a 3-D area of
      // one cell written as a cell.
      static const std::map<std::string, std::string> gnumeric = {
          {"2^3^2", "(2^3)^2"},
          {"IV65536", "IV16384"},
          {"SUM($B:$C)", "SUM($B:C)"},
          {"'Sheet2':'My Sheet'!B3:B3", "'Sheet2':'My Sheet'!B3"},
      };
      if (auto it = gnumeric.find(expect); it != gnumeric.end()) expect = it->second;
    } else if (col == 7 && row >= 59 && row <= 63) {
      expect = "A" + std::to_string(row + 1) + "*2+$B$1";
    } else {
      continue;
    }
    ++checked;
    std::string text = file.Text(theirs, cce, row, col);
    EXPECT_EQ(text, expect) << "decoding gnumeric's " << Hex(theirs.data(), theirs.size());
    // Our BIFF5 tokens for the same text decode to it again, and equal gnumeric's.
    auto tree = file.formula.CompileText(Utf8ToWide(expect), 0);
    ASSERT_TRUE(tree) << expect;
    auto blob = file.formula.CompileTree(*tree, kRootValue, 101, row, col);
    ASSERT_TRUE(blob) << expect;
    std::vector<uint8_t> ours(blob->GetData() + 2, blob->GetData() + blob->GetSize());
    size_t ourCce = blob->GetWord(0);
    EXPECT_EQ(file.Text(ours, ourCce, row, col), expect);
    // gnumeric flags the last corner of a whole column relative, and writes the operands of
    // a union in value class.
    if (expect == "SUM(A:A)" || expect == "SUM($B:C)") continue;
    bool strip = ClassesDiffer(expect) || expect == "SUM((A1:B2,C3))";
    auto a = Normalise(ours, ourCce, strip, false);
    a.insert(a.end(), ours.begin() + static_cast<long>(ourCce), ours.end());
    auto b = Normalise(theirs, cce, strip, false);
    b.insert(b.end(), theirs.begin() + static_cast<long>(cce), theirs.end());
    EXPECT_EQ(Hex(a.data(), a.size()), Hex(b.data(), b.size())) << "BIFF5 " << expect;
  }
  EXPECT_EQ(checked, corpus.size() + 5);
}

// python3-xlrd's formula decompiler as a second opinion: for every corpus formula it must
// print our BIFF8 tokens exactly as it prints LibreOffice's (where it can read LibreOffice's).
TEST(GoldenFormulas, XlrdReadsOurTokensAsLibreOffices) {
  if (std::system("/usr/bin/python3 -c 'import xlrd' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "python3-xlrd is not installed";
  }
  auto records = ReadRecords("corpus-biff8.records");
  auto corpus = ReadCorpus();
  FileBook file(records, true);
  file.externs.Renumber();
  std::string listing = std::string(KV_BINARY_DIR) + "/formula_xlrd_tokens.txt";
  {
    std::ofstream out(listing);
    for (size_t row = 0; row < corpus.size(); ++row) {
      auto tree = file.formula.CompileText(Utf8ToWide(corpus[row]), 0);
      ASSERT_TRUE(tree);
      auto blob = file.formula.CompileTree(*tree, kRootValue, 101, static_cast<int>(row), 7);
      ASSERT_TRUE(blob);
      out << row << " 7 " << blob->GetWord(0) << " " << Hex(blob->GetData() + 2, blob->GetSize() - 2)
          << "\n";
    }
  }
  std::string command = "/usr/bin/python3 " + std::string(KV_SOURCE_DIR) +
                        "/tests/xls/formula/xlrd_second_opinion.py " + KV_TEST_DATA +
                        "/formula/corpus-biff8.xls " + KV_TEST_DATA +
                        "/formula/corpus-biff8.records " + listing;
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) output += buf;
  ASSERT_EQ(pclose(p), 0) << output;
  std::istringstream lines(output);
  std::string line;
  int same = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("SAME", 0) == 0) {
      ++same;
    } else if (line.rfind("SKIP", 0) != 0) {
      ADD_FAILURE() << line;
    }
  }
  EXPECT_GE(same, 40) << output;
}

}  // namespace
}  // namespace xls
